/* A damped signal from a data file: a line, its error bars, a model curve
   and a legend.  Usage: damped [damped.dat] */
#include <math.h>
#include <stdio.h>
#include "lumo.h"

#define MAX_POINTS 1000

static float t[MAX_POINTS], signal[MAX_POINTS], low[MAX_POINTS], high[MAX_POINTS];
static float model[MAX_POINTS];

int main(int argc, char **argv)
{
    const char *name = argc > 1 ? argv[1] : "damped.dat";
    char line[200];
    float error;
    int n = 0;
    FILE *f = fopen(name, "r");
    if (!f) {
        perror(name);
        return 1;
    }
    while (n < MAX_POINTS && fgets(line, sizeof line, f)) {
        if (sscanf(line, "%f %f %f", &t[n], &signal[n], &error) == 3) {
            low[n] = signal[n] - error;
            high[n] = signal[n] + error;
            model[n] = (float)(exp(-t[n] / 4) * cos(2 * t[n]));
            n++;
        }
    }
    fclose(f);

    LmOpen(1);
    LmAxes(0, 10, -1, 1.2f, LM_AXES_GRID);
    LmLabels("time (s)", "signal", "A damped signal");

    LmSetPen(LmRgb(31, 119, 180), LM_PEN_SOLID, 2, LM_KEEP);   /* blue, solid, 2 pixels */
    LmPlotLine(n, t, signal);
    LmLegend("measured");

    LmSetPen(LmRgb(31, 119, 180), LM_PEN_SOLID, 1, LM_KEEP);
    LmErrorBars(n, t, low, high);
    LmLegend("uncertainty");

    LmSetPen(LmRgb(214, 39, 40), LM_PEN_DASH, 1, LM_KEEP);    /* red, dashed */
    LmPlotLine(n, t, model);
    LmLegend("model");

    LmShowLegend(LM_TOP_RIGHT);
    LmQuit();
    return 0;
}
