/* The field figure with PLplot: image, colour bar, contours. */
#include <math.h>
#include <plplot.h>

#define NX 80
#define NY 60

/* grid indices to world coordinates for plcont */
static void to_world(PLFLT x, PLFLT y, PLFLT *tx, PLFLT *ty, PLPointer data)
{
    const PLFLT *tr = (const PLFLT *)data;
    *tx = tr[0] * x + tr[1] * y + tr[2];
    *ty = tr[3] * x + tr[4] * y + tr[5];
}

int main(void)
{
    /* viridis at 0, 1/4, 1/2, 3/4, 1 */
    PLFLT at[] = {0, 0.25, 0.5, 0.75, 1};
    PLFLT red[] = {0.267, 0.231, 0.129, 0.369, 0.993};
    PLFLT green[] = {0.005, 0.322, 0.569, 0.788, 0.906};
    PLFLT blue[] = {0.329, 0.545, 0.549, 0.384, 0.144};
    PLFLT levels[] = {-0.5, 0, 0.5};
    PLFLT **field, tr[6];
    PLINT n_values = 64, sub_ticks = 0, label_opts = PL_COLORBAR_LABEL_RIGHT;
    PLFLT values[64], *value_rows[1] = {values}, ticks = 0, width, height;
    const char *labels[1] = {"amplitude"}, *axis_opts[1] = {"bcvtm"};
    int i, j;
    plAlloc2dGrid(&field, NX, NY);
    for (i = 0; i < NX; i++) {
        for (j = 0; j < NY; j++) {
            PLFLT x = 4.0 * i / (NX - 1) - 2, y = 3.0 * j / (NY - 1) - 1.5;
            field[i][j] = sin(2 * x) * cos(2 * y) * exp(-(x * x + y * y) / 4);
        }
    }
    for (i = 0; i < 64; i++) values[i] = -1 + 2.0 * i / 63;
    /* grid point (i, j) -> the middle of its cell */
    tr[0] = 4.0 / NX;
    tr[1] = 0;
    tr[2] = -2 + 0.5 * 4.0 / NX;
    tr[3] = 0;
    tr[4] = 3.0 / NY;
    tr[5] = -1.5 + 0.5 * 3.0 / NY;

    plsdev("pngcairo");
    plsfnam("plplot-field.png");
    plspage(0, 0, 640, 480, 0, 0);
    plscolbg(255, 255, 255);
    plscol0(1, 0, 0, 0);
    plscol0(15, 255, 255, 255);
    plinit();
    plscmap1l(1, 5, at, red, green, blue, NULL);
    pladv(0);
    plvpor(0.1, 0.8, 0.12, 0.9);
    plwind(-2, 2, -1.5, 1.5);
    plimage((PLFLT_MATRIX)field, NX, NY, -2, 2, -1.5, 1.5, -1, 1, -2, 2, -1.5, 1.5);
    plcol0(1);
    plbox("bcnst", 0, 0, "bcnstv", 0, 0);
    pllab("x (m)", "y (m)", "A wave packet");
    plcolorbar(&width, &height, PL_COLORBAR_IMAGE | PL_COLORBAR_LABEL_RIGHT,
               PL_POSITION_RIGHT | PL_POSITION_OUTSIDE, 0.03, 0, 0.04, 0.78, 0, 1, 1, 0, 0, 0, 0,
               1, &label_opts, labels, 1, axis_opts, &ticks, &sub_ticks, &n_values,
               (PLFLT_MATRIX)value_rows);
    plcol0(15);
    plcont((PLFLT_MATRIX)field, NX, NY, 1, NX, 1, NY, levels, 3, to_world, tr);
    plend();
    plFree2dGrid(field, NX, NY);
    return 0;
}
