/* The histogram figure with giza. */
#include <stdio.h>
#include <giza.h>

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

    giza_open_device_size("/png", "giza-heights", 640, 480, GIZA_UNITS_PIXELS);
    giza_set_environment(20, 65, 0, 60, 0, 0);
    giza_label("height (cm)", "plants", "Heights of 400 plants");
    giza_set_colour_representation_rgb(16, 158, 202, 225);
    giza_set_colour_index(16);
    giza_histogram_float(n, height, 20, 65, 20, 3);   /* 3: filled bars, axes kept */
    giza_close_device();
    return 0;
}
