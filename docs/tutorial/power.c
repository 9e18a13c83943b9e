/* A power law on log-log axes from a data file.  Usage: power [power.dat] */
#include <stdio.h>
#include "lumo.h"

#define MAX_POINTS 1000

static float freq[MAX_POINTS], power[MAX_POINTS];

int main(int argc, char **argv)
{
    const char *name = argc > 1 ? argv[1] : "power.dat";
    char line[200];
    int n = 0;
    FILE *f = fopen(name, "r");
    if (!f) {
        perror(name);
        return 1;
    }
    while (n < MAX_POINTS && fgets(line, sizeof line, f)) {
        if (sscanf(line, "%f %f", &freq[n], &power[n]) == 2) n++;
    }
    fclose(f);

    LmOpen(1);
    LmAxes(0.1f, 1e4f, 1e-3f, 1e7f, LM_AXES_LOGX | LM_AXES_LOGY | LM_AXES_GRID);
    LmLabels("frequency (Hz)", "power", "A power spectrum");
    LmSetPen(LmRgb(44, 160, 44), LM_PEN_SOLID, 2, LM_KEEP);    /* green */
    LmSetMarker(LM_MARKER_CIRCLE, 0, LmRgb(44, 160, 44), LM_WHITE, LM_KEEP);
    LmPlotLine(n, freq, power);
    LmPlotPoints(n, freq, power, LM_MARKER_CIRCLE);
    LmLegend("spectrum");
    LmShowLegend(LM_BOTTOM_LEFT);
    LmQuit();
    return 0;
}
