/* The damped-signal figure with PLplot: line, error bars, model, legend. */
#include <math.h>
#include <stdio.h>
#include <plplot.h>

#define MAX_POINTS 1000

static PLFLT t[MAX_POINTS], signal[MAX_POINTS], low[MAX_POINTS], high[MAX_POINTS];
static PLFLT model[MAX_POINTS];

int main(int argc, char **argv)
{
    const char *name = argc > 1 ? argv[1] : "damped.dat";
    char line[200];
    double error;
    int n = 0;
    FILE *f = fopen(name, "r");
    if (!f) {
        perror(name);
        return 1;
    }
    while (n < MAX_POINTS && fgets(line, sizeof line, f)) {
        if (sscanf(line, "%lf %lf %lf", &t[n], &signal[n], &error) == 3) {
            low[n] = signal[n] - error;
            high[n] = signal[n] + error;
            model[n] = exp(-t[n] / 4) * cos(2 * t[n]);
            n++;
        }
    }
    fclose(f);

    plsdev("pngcairo");
    plsfnam("plplot-damped.png");
    plspage(0, 0, 640, 480, 0, 0);
    plscolbg(255, 255, 255);
    plscol0(1, 0, 0, 0);
    plscol0(2, 31, 119, 180);
    plscol0(3, 214, 39, 40);
    plinit();
    plenv(0, 10, -1, 1.2, 0, 2);
    pllab("time (s)", "signal", "A damped signal");
    plcol0(2);
    plwidth(2);
    plline(n, t, signal);
    plwidth(1);
    plerry(n, t, low, high);
    plcol0(3);
    pllsty(2);
    plline(n, t, model);
    pllsty(1);
    {
        PLINT opts[3] = {PL_LEGEND_LINE, PL_LEGEND_LINE, PL_LEGEND_LINE};
        const char *texts[3] = {"measured", "uncertainty", "model"};
        PLINT text_colours[3] = {1, 1, 1}, line_colours[3] = {2, 2, 3}, styles[3] = {1, 1, 2};
        PLFLT widths[3] = {2, 1, 1}, legend_width, legend_height;
        pllegend(&legend_width, &legend_height, PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX,
                 PL_POSITION_TOP | PL_POSITION_RIGHT | PL_POSITION_INSIDE, 0.02, 0.02, 0.1,
                 0, 1, 1, 0, 0, 3, opts, 1.0, 1.0, 2.0, 0.0, text_colours, texts,
                 NULL, NULL, NULL, NULL, line_colours, styles, widths, NULL, NULL, NULL, NULL);
    }
    plend();
    return 0;
}
