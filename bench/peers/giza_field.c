/* The field figure with giza: image, colour bar, contours. */
#include <math.h>
#include <giza.h>

#define NX 80
#define NY 60

static float field[NY][NX];

int main(void)
{
    static const float levels[] = {-0.5f, 0, 0.5f};
    /* viridis at 0, 1/4, 1/2, 3/4, 1 */
    static const double at[] = {0, 0.25, 0.5, 0.75, 1};
    static const double red[] = {0.267, 0.231, 0.129, 0.369, 0.993};
    static const double green[] = {0.005, 0.322, 0.569, 0.788, 0.906};
    static const double blue[] = {0.329, 0.545, 0.549, 0.384, 0.144};
    float affine[6];
    int i, j;
    for (j = 0; j < NY; j++) {
        for (i = 0; i < NX; i++) {
            float x = 4.0f * i / (NX - 1) - 2, y = 3.0f * j / (NY - 1) - 1.5f;
            field[j][i] = (float)(sin(2 * x) * cos(2 * y) * exp(-(x * x + y * y) / 4));
        }
    }
    /* cell (i, j) -> world: x = -2 + (i + 0.5) * 4 / NX, y likewise */
    affine[0] = 4.0f / NX;
    affine[1] = 0;
    affine[2] = 0;
    affine[3] = 3.0f / NY;
    affine[4] = -2 + 0.5f * 4.0f / NX;
    affine[5] = -1.5f + 0.5f * 3.0f / NY;

    giza_open_device_size("/png", "giza-field", 640, 480, GIZA_UNITS_PIXELS);
    giza_set_environment(-2, 2, -1.5, 1.5, 0, -2);
    giza_set_colour_table(at, red, green, blue, 5, 1, 1);
    giza_render_float(NX, NY, &field[0][0], 0, NX - 1, 0, NY - 1, -1, 1, 0, affine);
    giza_box("BCNST", 0, 0, "BCNST", 0, 0);
    giza_label("x (m)", "y (m)", "A wave packet");
    giza_colour_bar("R", 1, 3, -1, 1, "amplitude");
    giza_set_colour_index(0);
    giza_contour_float(NX, NY, &field[0][0], 0, NX - 1, 0, NY - 1, 3, levels, affine);
    giza_close_device();
    return 0;
}
