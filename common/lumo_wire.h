/* Wire constants shared by the Lumo library and the lumoview server.
 *
 * Every offset, letter, code and reply value of the command protocol lives
 * here once; neither side spells one as a bare number. */
#ifndef LUMO_COMMON_WIRE_H
#define LUMO_COMMON_WIRE_H

#include <cstdint>

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

// Sub-codes of the "B" request used by the transport itself.
inline constexpr int kBlockChunk = 36;                // '$': one chunk (offset, size)
inline constexpr int kBlockCommit = 37;               // '%'
inline constexpr int kBlockCancel = 38;               // '&'

// ---- Replies ----------------------------------------------------------------
inline constexpr int32_t kReplyNoServer = INT32_MIN;                 // 0x80000000
inline constexpr int32_t kReplyAborted = INT32_MIN + 1;              // 0x80000001
inline constexpr int32_t kReplyCloseExit = INT32_MIN + 2;            // 0x80000002
inline constexpr int32_t kReplyExit = INT32_MIN + 3;                 // 0x80000003
inline constexpr int32_t kReplyDetached = INT32_MIN + 4;             // 0x80000004
inline constexpr int32_t kReplyTrue = INT32_MIN + 5;                 // 0x80000005
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

}  // namespace lumo::wire

#endif
