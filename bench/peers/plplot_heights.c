/* The histogram figure with PLplot. */
#include <stdio.h>
#include <plplot.h>

#define MAX_VALUES 10000

static PLFLT height[MAX_VALUES];

int main(int argc, char **argv)
{
    const char *name = argc > 1 ? argv[1] : "heights.dat";
    char line[200];
    int n = 0;
    FILE *f = fopen(name, "r");
    if (!f) {
        perror(name);
        return 1;
    }
    while (n < MAX_VALUES && fgets(line, sizeof line, f)) {
        if (sscanf(line, "%lf", &height[n]) == 1) n++;
    }
    fclose(f);

    plsdev("pngcairo");
    plsfnam("plplot-heights.png");
    plspage(0, 0, 640, 480, 0, 0);
    plscolbg(255, 255, 255);
    plscol0(1, 0, 0, 0);
    plscol0(2, 8, 81, 156);
    plinit();
    plenv(20, 65, 0, 60, 0, 0);
    pllab("height (cm)", "plants", "Heights of 400 plants");
    plcol0(2);
    plhist(n, height, 20, 65, 20, PL_HIST_NOSCALING);   /* outlines: plhist does not fill */
    plend();
    return 0;
}
