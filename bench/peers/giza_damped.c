/* The damped-signal figure with giza: line, error bars, model, legend. */
#include <math.h>
#include <stdio.h>
#include <giza.h>

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

    giza_open_device_size("/png", "giza-damped", 640, 480, GIZA_UNITS_PIXELS);
    giza_set_environment(0, 10, -1, 1.2, 0, 2);
    giza_label("time (s)", "signal", "A damped signal");

    giza_set_colour_representation_rgb(16, 31, 119, 180);
    giza_set_colour_representation_rgb(17, 214, 39, 40);
    giza_set_colour_index(16);
    giza_set_line_width(2);
    giza_line_float(n, t, signal);
    giza_set_line_width(1);
    giza_error_bars_vert_float(n, t, low, high, 1);
    giza_set_colour_index(17);
    giza_set_line_style(2);
    giza_line_float(n, t, model);

    /* giza has no legend: lines and texts by hand, in world coordinates */
    giza_set_line_style(1);
    giza_set_colour_index(16);
    giza_set_line_width(2);
    giza_move(7.0, 1.05);
    giza_draw(7.8, 1.05);
    giza_set_line_width(1);
    giza_move(7.4, 0.9);
    giza_draw(7.4, 1.0);
    giza_set_colour_index(17);
    giza_set_line_style(2);
    giza_move(7.0, 0.8);
    giza_draw(7.8, 0.8);
    giza_set_colour_index(1);
    giza_text(8.0, 1.02, "measured");
    giza_text(8.0, 0.92, "uncertainty");
    giza_text(8.0, 0.77, "model");
    giza_close_device();
    return 0;
}
