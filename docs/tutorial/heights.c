/* A histogram of the values in a data file.  Usage: heights [heights.dat] */
#include <stdio.h>
#include "lumo.h"

#define MAX_VALUES 10000

static float height[MAX_VALUES];

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
        if (sscanf(line, "%f", &height[n]) == 1) n++;
    }
    fclose(f);

    LmOpen(1);
    LmLabels("height (cm)", "plants", "Heights of 400 plants");
    LmSetBrush(LmRgb(158, 202, 225), LM_BRUSH_SOLID, LM_KEEP);   /* light blue */
    LmSetPen(LmRgb(8, 81, 156), LM_PEN_SOLID, 1, LM_KEEP);     /* dark blue outline */
    LmHistogram(n, height, 20, 20, 65);
    LmQuit();
    return 0;
}
