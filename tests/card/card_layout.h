/* The regions of the test card: where each group of figures is drawn and how
 * closely two servers' pictures of it must agree.  Shared by the card program
 * (plain C) and the comparison tool. */
#ifndef LUMO_TESTS_CARD_LAYOUT_H
#define LUMO_TESTS_CARD_LAYOUT_H

#define CARD_WIDTH 900
#define CARD_HEIGHT 600

/* How two pictures of a region are compared. */
enum card_check {
  CARD_EXACT,   /* every pixel the same */
  CARD_SHAPE,   /* crisp curves of the same size and place: the same bounding
                   box, every coloured pixel with one of its
                   colour within a pixel in the other picture (but for one
                   pixel in a thousand, at least two: tips of sharp corners
                   and arc ends) */
  CARD_SMOOTH,  /* anti-aliased on one side: every strongly coloured pixel
                   within a pixel of a coloured one in the other (the same
                   allowance), bounding boxes within two pixels */
  CARD_TEXT,    /* fonts differ: the ink's box within a fifth of its size */
  CARD_CRISP    /* as CARD_SHAPE, and left out of the comparison with vector
                   figures: these carry no pen mode (every pen is drawn
                   smooth there), so their dashes along a curve follow its
                   path, not the crisp walk along its pixels */
};

struct card_region {
  const char *name;
  int x, y, w, h;
  enum card_check check;
};

static const struct card_region card_regions[] = {
    {"pen styles, crisp", 0, 0, 200, 100, CARD_EXACT},
    {"pen styles, smooth", 200, 0, 200, 100, CARD_SMOOTH},
    {"pen widths", 400, 0, 100, 100, CARD_SHAPE},
    {"raster modes", 500, 0, 100, 100, CARD_EXACT},
    {"exclusive or twice", 600, 0, 100, 100, CARD_EXACT},
    {"brush styles", 700, 0, 100, 100, CARD_EXACT},
    {"hatches, crisp", 0, 100, 200, 100, CARD_EXACT},
    {"hatches, smooth", 200, 100, 100, 100, CARD_SMOOTH},
    {"rectangles", 300, 100, 100, 100, CARD_EXACT},
    {"rounded rectangles", 400, 100, 100, 100, CARD_SHAPE},
    {"ellipses, crisp", 500, 100, 100, 100, CARD_SHAPE},
    {"ellipses, smooth", 600, 100, 100, 100, CARD_SMOOTH},
    {"world rectangle and pie", 700, 100, 50, 100, CARD_SHAPE},
    {"world ellipse", 750, 100, 50, 100, CARD_SHAPE},
    {"arcs, chords, pies, crisp", 0, 200, 200, 100, CARD_SHAPE},
    {"arcs, chords, pies, smooth", 200, 200, 200, 100, CARD_SMOOTH},
    {"polygons, crisp", 400, 200, 200, 100, CARD_EXACT},
    {"polygons, smooth", 600, 200, 100, 100, CARD_SMOOTH},
    {"polylines and series", 700, 200, 100, 50, CARD_EXACT},
    {"Bezier curves", 700, 250, 100, 50, CARD_SHAPE},
    {"markers, crisp", 0, 300, 200, 100, CARD_SHAPE},
    {"markers, smooth", 200, 300, 200, 100, CARD_SMOOTH},
    {"pixels and point operations", 400, 300, 100, 100, CARD_EXACT},
    {"transformation", 500, 300, 100, 100, CARD_SMOOTH},  /* rounded GDI's way */
    {"lines across the edge", 0, 400, 100, 100, CARD_EXACT},
    {"text, left", 100, 400, 230, 50, CARD_TEXT},
    {"text, centred", 330, 400, 230, 50, CARD_TEXT},
    {"text, right", 560, 400, 240, 50, CARD_TEXT},
    {"text, turned", 100, 450, 120, 150, CARD_TEXT},
    {"text, large", 220, 450, 380, 75, CARD_TEXT},
    {"symbols", 220, 525, 380, 75, CARD_TEXT},
    /* Styled one-pixel pens: along curves (the pattern walked as GDI walks
       it) and under a scaling (still one pixel wide); figures whose boxes
       reach far beyond the window, of which only a corner shows. */
    {"dashes on curves, crisp", 600, 300, 100, 100, CARD_CRISP},
    {"dashes, scaled", 700, 300, 100, 100, CARD_SHAPE},
    {"huge figures", 0, 500, 100, 100, CARD_SHAPE},
    {"dashed arcs, crisp", 600, 550, 200, 50, CARD_CRISP},
    {"dashed pies and chords, crisp", 800, 100, 100, 200, CARD_CRISP},
};

#define CARD_REGIONS ((int)(sizeof card_regions / sizeof card_regions[0]))

/* Regions beside the main table.  Whole-pixel translation: the same outlines
   (plain and dashed rectangles, the rectangle modes, a coloured rectangle, a
   chord and pies, one of them from its centre) drawn twice in the crisp mode:
   in CARD_MOVED with their coordinates moved there, in CARD_TRANSLATED from
   the same coordinates under a translation by CARD_MOVE_X, CARD_MOVE_Y.
   Each region is compared between the servers like the others; within each
   picture the second must be the first, moved, pixel for pixel.  Text turned
   and aligned on its middle, which moves along the text's own direction. */
#define CARD_MOVE_X 100
#define CARD_MOVE_Y 0
#define CARD_MOVED 0
#define CARD_TRANSLATED 1

static const struct card_region card_move_regions[] = {
    {"outlines, drawn moved", 600, 450, 100, 100, CARD_SHAPE},
    {"outlines, translated", 600 + CARD_MOVE_X, 450 + CARD_MOVE_Y, 100, 100, CARD_SHAPE},
    {"text, upside down, middle", 800, 0, 100, 35, CARD_TEXT},
    {"text, turned, middle", 800, 35, 100, 65, CARD_TEXT},
};

#define CARD_MOVE_REGIONS ((int)(sizeof card_move_regions / sizeof card_move_regions[0]))

#endif
