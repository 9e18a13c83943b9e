/* A field of values as an image with a colour bar and contour lines. */
#include <math.h>
#include "lumo.h"

#define NX 80
#define NY 60

static float field[NY][NX];

int main(void)
{
    static const float levels[] = {-0.5f, 0, 0.5f};
    int i, j;
    for (j = 0; j < NY; j++) {
        for (i = 0; i < NX; i++) {
            float x = 4.0f * i / (NX - 1) - 2, y = 3.0f * j / (NY - 1) - 1.5f;
            field[j][i] = (float)(sin(2 * x) * cos(2 * y) * exp(-(x * x + y * y) / 4));
        }
    }

    LmOpen(1);
    LmAxes(-2, 2, -1.5f, 1.5f, LM_AXES_COLOUR_BAR);
    LmLabels("x (m)", "y (m)", "A wave packet");
    LmImage(NX, NY, &field[0][0], -1, 1, LM_MAP_VIRIDIS);
    LmColourBar(-1, 1, LM_MAP_VIRIDIS, "amplitude");
    LmSetPen(LM_WHITE, LM_PEN_SOLID, 1, LM_KEEP);  /* white contour lines */
    LmContour(NX, NY, &field[0][0], 3, levels);
    LmQuit();
    return 0;
}
