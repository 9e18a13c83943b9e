/* Wire constants shared by the Lumo library and the lumoview server.
 *
 * Every offset, letter, code and reply value of the command protocol lives
 * here once; neither side spells one as a bare number. */
#ifndef LUMO_COMMON_WIRE_H
#define LUMO_COMMON_WIRE_H

#include <cstdint>
#include <cstring>

namespace lumo::wire {

// ---- Named shared blocks ----------------------------------------------------
inline constexpr char kBlockPrefix[] = "LumoView";   // "LumoView<n>", "LumoView<n>:<w>"
inline constexpr int kFirstServer = 1;
inline constexpr int kLastServer = 16;
inline constexpr int kWindowSlots = 64;               // window table, entry 0 unused
inline constexpr int kFirstWindow = 1;
inline constexpr int kLastWindow = 63;
inline constexpr char kWindowCodeBase = ' ';          // window code = ' ' + number

// Window block layout.
inline constexpr int kStateSize = 224;                // drawing state, bytes 0..223
inline constexpr int kArg1 = 224;
inline constexpr int kArg2 = 228;
inline constexpr int kArg3 = 232;
inline constexpr int kResult0 = 240;                  // four result / extra argument words
inline constexpr int kResult1 = 244;
inline constexpr int kResult2 = 248;
inline constexpr int kResult3 = 252;
inline constexpr int kDataArea = 256;
inline constexpr int kDataSize = 2048;
inline constexpr int kMaxText = kDataSize - 1;        // longest string in the data area
inline constexpr int kWindowBlockSize = kDataArea + kDataSize;   // 2304
inline constexpr int kServerBlockMinSize = 1024;      // a server block holds at least this

// Drawing state (bytes 0..223 of a window block).
inline constexpr int kScaleX = 0;        // float: pixels per world unit along x (0 in pixel mode)
inline constexpr int kScaleY = 4;        // float
inline constexpr int kWorldX1 = 8;       // float: world x at the viewport's left edge
inline constexpr int kWorldY1 = 12;      // float: world y at its bottom edge
inline constexpr int kWorldX2 = 16;      // float
inline constexpr int kWorldY2 = 20;      // float
inline constexpr int kViewX1 = 24;       // float: viewport, in unit lengths
inline constexpr int kViewY1 = 28;
inline constexpr int kViewX2 = 32;
inline constexpr int kViewY2 = 36;
inline constexpr int kAreaWidth = 40;    // int32, kept by the server
inline constexpr int kAreaHeight = 44;   // int32, kept by the server
inline constexpr int kUnit = 48;         // int32: unit length in pixels
inline constexpr int kPixelMode = 52;    // int32: 1 = world coordinates are pixels
inline constexpr int kOriginX = 56;      // int32, kept by the server
inline constexpr int kOriginY = 60;      // int32, kept by the server
inline constexpr int kPosX = 68;         // int32: current position
inline constexpr int kPosY = 72;
inline constexpr int kChanged = 76;      // uint32: attribute change bits
inline constexpr int kFillMode = 80;     // int32: polygon fill rule 1 or 2
inline constexpr int kPenStyle = 92;
inline constexpr int kPenWidth = 96;
inline constexpr int kPenColour = 100;
inline constexpr int kPenMode = 104;
inline constexpr int kBrushStyle = 108;
inline constexpr int kBrushHatch = 112;
inline constexpr int kBrushColour = 116;
inline constexpr int kMarkerType = 140;
inline constexpr int kMarkerSize = 144;
inline constexpr int kMarkerColour1 = 148;
inline constexpr int kMarkerColour2 = 152;
inline constexpr int kMarkerParam = 156;
inline constexpr int kTextAngle = 160;
inline constexpr int kTextHeight = 164;
inline constexpr int kTextAlign = 168;
inline constexpr int kTextColour = 172;
inline constexpr int kTextParam = 176;
inline constexpr int kSymbolAngle = 180;
inline constexpr int kSymbolCode = 184;
inline constexpr int kSymbolHeight = 188;
inline constexpr int kSymbolAlign = 192;
inline constexpr int kSymbolColour = 196;
inline constexpr int kSymbolParam = 200;

// The current position (-1, -1), the value a reset stores, means none; any
// other point, however far outside the drawing area, is a position.
inline constexpr int32_t kNoPosition = -1;
constexpr bool is_position(int32_t x, int32_t y) { return x != kNoPosition || y != kNoPosition; }

// Change bits of kChanged.
inline constexpr uint32_t kChangedPenStyle = 0x001;
inline constexpr uint32_t kChangedPenWidth = 0x002;
inline constexpr uint32_t kChangedPenColour = 0x004;
inline constexpr uint32_t kChangedPenMode = 0x008;
inline constexpr uint32_t kChangedBrushStyle = 0x010;
inline constexpr uint32_t kChangedBrushColour = 0x020;
inline constexpr uint32_t kChangedBrushHatch = 0x040;
inline constexpr uint32_t kChangedMarkerType = 0x080;
inline constexpr uint32_t kChangedMarkerSize = 0x100;
inline constexpr uint32_t kChangedMarkerColour1 = 0x200;
inline constexpr uint32_t kChangedMarkerColour2 = 0x400;
inline constexpr uint32_t kChangedMarkerParam = 0x800;

// ---- Commands ---------------------------------------------------------------
inline constexpr int kMaxCommand = 256;               // bytes including the NUL
inline constexpr int kWindowCommandLength = 3;        // letter, window code, NUL
inline constexpr int kCodeLength = 4;                 // three characters and NUL

inline constexpr char kCmdDraw = 'A';
inline constexpr char kCmdRequest = 'B';
inline constexpr char kCmdMetric = 'E';
inline constexpr char kCmdPixel = 'F';
inline constexpr char kCmdSetting = 'G';
inline constexpr char kCmdOpen = 'I';
inline constexpr char kCmdClose = 'J';
inline constexpr char kCmdStart = 'K';
inline constexpr char kCmdEnd = 'L';
inline constexpr char kCmdBlock = 'N';
inline constexpr char kCmdProbe = 'O';
inline constexpr char kCmdServerQuery = 'P';
// Input of a window (argument word 1: 0 takes the next event into result
// words 0..3 as kind, code, x, y; 1 reads the count of events dropped into
// result word 0).  Replies: 1 an event (or the count), 2 none yet, 3 none
// will come (no display and no scripted input left), 0 no such window.
inline constexpr char kCmdEvent = 'V';
inline constexpr int32_t kEventTaken = 1, kEventNoneYet = 2, kEventNoneEver = 3;

// Sub-codes of "A" (argument word 1): drawing.
inline constexpr int kDrawWindowOp = 2;
inline constexpr int kDrawColourEntry = 5;
inline constexpr int kDrawAttributes = 6;
inline constexpr int kDrawTransform = 7;
inline constexpr int kDrawRectMode = 8;
inline constexpr int kDrawFont = 9;
inline constexpr int kDrawSymbolFont = 10;
inline constexpr int kDrawMove = 11;
inline constexpr int kDrawMarker = 14;
inline constexpr int kDrawText = 15;
inline constexpr int kDrawSymbol = 16;
inline constexpr int kDrawPointOp = 17;
inline constexpr int kDrawAction18 = 18;
inline constexpr int kDrawPixel = 19;
inline constexpr int kDrawLine = 20;
inline constexpr int kDrawRect = 21;
inline constexpr int kDrawRectEx = 22;
inline constexpr int kDrawRoundRect = 23;
inline constexpr int kDrawEllipse = 24;
inline constexpr int kDrawArc = 25;
inline constexpr int kDrawChord = 26;
inline constexpr int kDrawPie = 27;

// The sub-pixel form of the world-level figures, sent in the smooth pen
// mode: the sub-code with kDrawSubpixel added, every coordinate the command
// carries (argument words 2 and 3, the corner words, the radial points, the
// marker's point) in 1/kSubpixelScale pixel instead of whole pixels.  The
// library sends it only for points whose whole pixels lie within
// kSubpixelReach; the whole pixel is the value plus one half pixel, shifted
// down (floor), which is exactly the whole-pixel form's pixel.  The point
// data of a block (kind plus kBlockSubpixel) is in the same units.
inline constexpr int32_t kDrawSubpixel = 0x100;
inline constexpr int32_t kBlockSubpixel = 0x100;
inline constexpr int kSubpixelShift = 8;
inline constexpr int32_t kSubpixelScale = 1 << kSubpixelShift;
inline constexpr int32_t kSubpixelReach = 1 << 22;
// The pen mode whose world-level figures travel in the sub-pixel form.
inline constexpr int32_t kSubpixelPenMode = 4;

constexpr bool draw_has_subpixel_form(int32_t code) {
  switch (code) {
    case kDrawMove: case kDrawLine: case kDrawEllipse: case kDrawArc: case kDrawChord:
    case kDrawPie: case kDrawMarker: case kDrawText: case kDrawSymbol:
      return true;
    default:
      return false;
  }
}

// Whether `code` is the sub-pixel form of a drawing command.
constexpr bool is_subpixel_draw(int32_t code) {
  return (code & kDrawSubpixel) != 0 && draw_has_subpixel_form(code & ~kDrawSubpixel);
}

// The drawing command `code` names, in either form.
constexpr int32_t plain_draw_code(int32_t code) {
  return is_subpixel_draw(code) ? code & ~kDrawSubpixel : code;
}

// The whole pixel of a sub-pixel coordinate.
constexpr int32_t subpixel_whole(int32_t v) {
  return static_cast<int32_t>((static_cast<int64_t>(v) + kSubpixelScale / 2) >> kSubpixelShift);
}

// Drawing that only reads the window block and always answers 1: a program
// need not wait for it (the server draws it in order, before any later
// command of any program is carried out).
constexpr bool draw_needs_no_answer(int32_t code) {
  switch (plain_draw_code(code)) {
    case kDrawMove: case kDrawAttributes: case kDrawFont: case kDrawSymbolFont:
    case kDrawMarker: case kDrawText: case kDrawSymbol: case kDrawPointOp:
    case kDrawPixel: case kDrawLine: case kDrawRect: case kDrawRectEx:
    case kDrawRoundRect: case kDrawEllipse: case kDrawArc: case kDrawChord:
    case kDrawPie:
      return true;
    default:
      return false;
  }
}

// What each drawing command that needs no answer reads of the window block:
// the whole head (drawing state and argument words, bytes 0..255) always;
// the arc figures also their two radial points, the first four words of the
// data area; text, symbols and fonts also the data area's text with its
// terminating NUL.  A posted copy carries exactly this much, and the tests
// check that the server reads nothing beyond it.
inline constexpr int kRadialPointsBytes = 16;

constexpr bool draw_reads_text(int32_t code) {
  return code == kDrawText || code == kDrawSymbol || code == kDrawFont || code == kDrawSymbolFont;
}

constexpr bool draw_reads_radial_points(int32_t code) {
  return code == kDrawArc || code == kDrawChord || code == kDrawPie;
}

// The text at the start of a data area with its terminating NUL (the last
// byte counts as its end).
inline int32_t data_text_bytes(const unsigned char* data) {
  int32_t n = 0;
  while (n < kMaxText && data[n]) ++n;
  return n + 1;
}

// The bytes from the start of the block that drawing command `code` reads,
// its data area at `data`.
inline int32_t draw_block_extent(int32_t code, const unsigned char* block,
                                 const unsigned char* data = nullptr) {
  if (!data) data = block + kDataArea;
  code = plain_draw_code(code);
  int32_t bytes = kDataArea;
  if (draw_reads_radial_points(code)) bytes += kRadialPointsBytes;
  if (draw_reads_text(code)) bytes += data_text_bytes(data);
  return bytes;
}

// Sub-codes of "E" (argument word 1) that make the window's picture another
// size (argument words 2 and 3), as kRequestResize does.
inline constexpr int kMetricResize = -1;
inline constexpr int kMetricResizeToo = -3;

// Sub-codes of "B" (argument word 1): window requests.
inline constexpr int kRequestMessage = 2;
inline constexpr int kRequestAsk = 3;
inline constexpr int kRequestResize = 5;     // argument words 2 and 3: the new size
inline constexpr int kRequestPalette = 9;
inline constexpr int kRequestSwitch = 10;
inline constexpr int kRequestDrawingFile = 11;
inline constexpr int kRequestWindowText = 12;
inline constexpr int kRequestFileDialog = 13;
inline constexpr int kRequestPrompt = 14;
inline constexpr int kRequestNumber = 15;
inline constexpr int kRequest16 = 16;
inline constexpr int kRequestTextExtent = 17;
inline constexpr int kRequestExtent = 18;
inline constexpr int kRequestViewport = 19;
inline constexpr int kRequestClosed = 22;
inline constexpr int kRequestNewWindow = 24;
inline constexpr int kRequest25 = 25;
inline constexpr int kRequest27 = 27;
inline constexpr int kRequest28 = 28;
inline constexpr int kRequestGetTransform = 30;
inline constexpr int kRequestQuery4 = 31;
inline constexpr int kRequestWorld = 41;

// What a window command the program waits for reads of its block (the part
// a channel carries with it): the head always; drawing as above; a data
// chunk its bytes; a request that takes a text its text.
constexpr bool request_reads_text(int32_t code) {
  return code == kRequestMessage || code == kRequestAsk || code == kRequestDrawingFile ||
         code == kRequestWindowText || code == kRequestFileDialog || code == kRequestPrompt ||
         code == kRequestTextExtent;
}

// Kinds of data blocks ("N", argument word 1).
inline constexpr int kBlockPolygon = 28;
inline constexpr int kBlockBezier = 29;
inline constexpr int kBlockPolyline = 30;
inline constexpr int kBlockSeries = 32;

// Sub-codes of the "B" request used by the transport itself.
inline constexpr int kBlockChunk = 36;                // '$': one chunk (offset, size)
inline constexpr int kBlockCommit = 37;               // '%'
inline constexpr int kBlockCancel = 38;               // '&'

// The most points (or series values) a data block may announce.
inline constexpr int32_t kMaxBlockPoints = 1000000;

// The bytes an announced data block ("N", kind, count) will hold; 0 when
// the server refuses the announcement.
constexpr int64_t announced_block_bytes(int32_t kind, int32_t count) {
  const int64_t n = count < 0 ? -static_cast<int64_t>(count) : count;
  if (n > kMaxBlockPoints) return 0;
  // Points in 1/256 pixel take the room of whole ones (a series has none).
  if ((kind & kBlockSubpixel) && kind != kBlockSeries + kBlockSubpixel) kind -= kBlockSubpixel;
  switch (kind) {
    case kBlockPolygon: return count >= 3 ? 8 * n : 0;
    case kBlockPolyline: return count >= 2 ? 8 * n : 0;
    case kBlockBezier: return count >= 4 ? 8 * n : 0;
    case kBlockSeries: return count != 0 ? 4 * n : 0;
    default: return 0;
  }
}

// A chunk's place a server takes in any block large enough for it.
constexpr bool chunk_well_formed(int32_t offset, int32_t size) {
  return offset >= 0 && size > 0 && size <= kDataSize && offset % 4 == 0 && size % 4 == 0;
}

// The data-block commands a program need not wait for (its head's argument
// words given): an announcement the server takes, a well-formed chunk, the
// commit and the cancel.  The server carries them out in order like posted
// drawing; one refused all the same (a chunk beyond its block, a block with
// gaps: never from the library) is told on the program's standard error.
inline bool block_needs_no_answer(char letter, const unsigned char* head) {
  int32_t a1, a2, a3;
  std::memcpy(&a1, head + kArg1, 4);
  std::memcpy(&a2, head + kArg2, 4);
  std::memcpy(&a3, head + kArg3, 4);
  if (letter == kCmdBlock) return announced_block_bytes(a1, a2) > 0;
  if (letter != kCmdRequest) return false;
  return a1 == kBlockCommit || a1 == kBlockCancel || (a1 == kBlockChunk && chunk_well_formed(a2, a3));
}

// The head's argument words give the command; `data` is its data area.
inline int32_t sent_block_extent(char letter, const unsigned char* head,
                                 const unsigned char* data = nullptr) {
  if (!data) data = head + kDataArea;
  int32_t code, size;
  std::memcpy(&code, head + kArg1, 4);
  if (letter == kCmdDraw) return draw_block_extent(code, head, data);
  if (letter != kCmdRequest) return kDataArea;
  if (code == kBlockChunk) {
    std::memcpy(&size, head + kArg3, 4);
    return kDataArea + (size < 0 ? 0 : size > kDataSize ? kDataSize : size);
  }
  return request_reads_text(code) ? kDataArea + data_text_bytes(data) : kDataArea;
}

// Server-level codes: "B", kServerLevelCode, (a + 32) carries the a value.
inline constexpr char kServerLevelCode = '0';
// Server switches travel through the server-block exchange: code
// kSwitchCodeBase + n reads switch n, -(kSwitchCodeBase + n) sets it.
inline constexpr int kSwitchCodeBase = 100;
inline constexpr int kSwitches = 6;
// A text position outside the widened world: the server does not draw it.
inline constexpr int32_t kFarAwayPosition = 32767;

// ---- Replies ----------------------------------------------------------------
inline constexpr int32_t kReplyNoServer = INT32_MIN;                 // 0x80000000
inline constexpr int32_t kReplyAborted = INT32_MIN + 1;              // 0x80000001
inline constexpr int32_t kReplyCloseExit = INT32_MIN + 2;            // 0x80000002
inline constexpr int32_t kReplyExit = INT32_MIN + 3;                 // 0x80000003
inline constexpr int32_t kReplyDetached = INT32_MIN + 4;             // 0x80000004
inline constexpr int32_t kReplyTrue = INT32_MIN + 5;                 // 0x80000005
// The start-up command refused: another program linked first, or the
// program's run settings differ from the server's (common/run_settings.h).
inline constexpr int32_t kReplyServerTaken = INT32_MIN + 6;          // 0x80000006
inline constexpr int32_t kPlainReplyFloor = -32768;                  // replies above are plain

// ---- Layout probes ("O,k" with a binary value at byte 4) --------------------
inline constexpr int kProbeValueOffset = 4;
inline constexpr uint32_t kProbe0Value = 2304;                        // int32
inline constexpr uint32_t kProbe1Bits = 0xC0490FD8u;                  // float -3.1415925
inline constexpr uint64_t kProbe2Bits = 0xC00921FB54442D18ull;        // double -pi
inline constexpr uint32_t kProbe3Bits = 0x411DE9E4u;                  // float 9.869602
inline constexpr int kProbe0Length = 8;
inline constexpr int kProbe1Length = 8;
inline constexpr int kProbe2Length = 12;
inline constexpr int kProbe3Length = 8;
inline constexpr int32_t kProbe0Reply = 224;
inline constexpr int32_t kProbe1Reply = 256;
inline constexpr int32_t kProbe2Reply = INT32_MAX;
inline constexpr int32_t kProbe3Reply = INT32_MIN;

// Window probe ("O" + window code, argument word 1 = 1 or 2).
inline constexpr int32_t kWindowProbeSecondReply = INT32_MAX;

// ---- Server block text ------------------------------------------------------
inline constexpr char kServerVersion[] = "0,9,9,9b";
inline constexpr char kLibraryVersion[] = "0,9,9,9b";
inline constexpr char kLibraryVersionText[] = "Version  0.99.9b";
inline constexpr int kRequestReplyTag = 3;            // "3;%d;%d;" answers a request
inline constexpr int kServerTextMax = 511;            // longest header the library parses

// ---- WM_COPYDATA ------------------------------------------------------------
inline constexpr uintptr_t kCopyDataKind = 1;

// ---- Dialog answers (word 240 after a yes/no question) ----------------------
inline constexpr int32_t kAnswerYes = 6;
inline constexpr int32_t kAnswerNo = 7;
// Word 240 after a message, question, prompt or file dialog the server
// could not show at all (no display and no scripted answer); a refusal by
// the user leaves another value there.
inline constexpr int32_t kNoDialog = -2;

}  // namespace lumo::wire

#endif
