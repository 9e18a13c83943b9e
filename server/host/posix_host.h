// The server side of the POSIX transport: named blocks it creates and holds,
// and the socket on which programs deliver their commands.
#ifndef LUMO_SERVER_HOST_POSIX_HOST_H
#define LUMO_SERVER_HOST_POSIX_HOST_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/channel_ring.h"

#include "server/core/host.h"

namespace lumo::server {

// What the command loop calls.
struct Loop {
  // One command of a client (its connection's number); returns the reply.
  // `block`, when not null, is the program's own copy of the first
  // `block_bytes` bytes of the addressed window's block, sent with the
  // command (channels only).
  std::function<int32_t(int client, const unsigned char* bytes, uint32_t size,
                        const unsigned char* block, uint32_t block_bytes)>
      on_command;
  // A client's connection ended.
  std::function<void(int client)> on_gone;
  // Another descriptor to watch (a display connection), and what to do when
  // it is readable.
  int extra_fd = -1;
  std::function<void()> on_extra;
  // A descriptor that becomes readable when another thread has work for
  // the loop (the web view); on_idle runs soon after.
  int wake_fd = -1;
  // Called before every wait: the longest wait in milliseconds, or a
  // negative number to end the loop.
  std::function<int()> on_idle;
  // Asked before a command is handled: true (with the reply) when the reply
  // does not depend on the handling, so the program may go on while the
  // server works.  The command is then handled as usual.
  std::function<bool(int client, const unsigned char* bytes, uint32_t size, int32_t* reply,
                     const unsigned char* block, uint32_t block_bytes)>
      on_early_reply;
  // Work that waits for a moment without commands (answered drawing not
  // drawn yet): true when a piece was done.  Called while no command waits,
  // one piece at a time, so a new command is answered between pieces.
  std::function<bool()> on_spare;
  // A command a program posted without waiting (drawing that needs no
  // answer), with its copy of the window block; called in order.  Without
  // it programs are not offered posting.
  std::function<void(int client, const unsigned char* bytes, uint32_t size, unsigned char* block)>
      on_posted;
  // A posted single pixel, drawn as on_posted would draw the command it
  // stands for; false to have it go to on_posted instead.  May be empty.
  std::function<bool(int client, int window_code, int32_t x, int32_t y, int32_t colour)> on_posted_pixel;
  // Whether a program may post its next commands (asked when it is
  // answered), and a count that advances whenever a window goes: every
  // program then sends its next command, so it learns of the change.
  std::function<bool(int client)> may_post;
  std::function<uint32_t()> windows_gone;
  // The windows the server has now: bit w for window w.
  std::function<uint64_t()> window_bits;
  // The text the command just handled answers its program with (empty:
  // none), handed to that program alone through its channel.
  std::function<const std::string&()> answer;
  // A program cut the block at `base` short while the server used it: the
  // file has its size again and is mapped afresh (what was in the cut part
  // reads as zeros), or, when that failed, `base` is private zero memory.
  std::function<void(unsigned char* base)> on_block_lost;
  // Drawing left over from a long command, drawn in slices: whether the
  // answer to the last command of `client` waits for it (the answer is held
  // back and nothing more of that program is taken meanwhile), and one
  // slice of it (true when one was drawn).  Other programs are served
  // between slices.  Either may be empty.
  std::function<bool(int client)> holding;
  std::function<bool()> on_slice;
  // Asked before a command or a posted record (then its letter, window
  // code and a zero) is taken: true when it must wait, untaken, while its
  // program is held (holding) for something done beside the loop.  `args`
  // is the window block the command comes with, null without one.  May be
  // empty.
  std::function<bool(int client, const unsigned char* bytes, uint32_t size, const unsigned char* args)> waits;
  // The reply a held command is answered with once it is no longer held,
  // given the one its handling returned (a request whose work went on
  // beside the loop ends with its own).  May be empty.
  std::function<int32_t(int client, int32_t reply)> held_reply;
  // The block through which programs find the server: when a program
  // removes its name, it is made again under that name.
  std::function<const unsigned char*()> finding_block;
};

class PosixHost : public BlockHost {
 public:
  ~PosixHost() override;

  // Creates the private runtime directory and the listening socket.  The
  // window handle is the process id.  False when that is impossible;
  // failure() then says why.
  bool start();
  const std::string& failure() const { return failure_; }
  long long window_handle() const override { return handle_; }

  // Creates a named block of `size` zero bytes and holds it (other processes
  // see it as live while this process runs).  A stale block of the same name
  // left by a dead server is replaced; a live one makes this fail.
  unsigned char* create_block(const std::string& name, size_t size) override;
  void remove_block(const std::string& name) override;

  // Serves commands until request_stop() or on_idle ends it.  Every accepted
  // connection is served in turn; one that closes is dropped.
  void serve(const Loop& loop);
  void request_stop() { stop_ = true; }

  // Removes every block and the socket.
  void shutdown();

  // Writes one line on the standard error the program of connection
  // `client` handed over with its channel (also while the server handles
  // the connection's end); nothing when it handed none.  Never waits: a
  // line that cannot be written at once is dropped, and a program is told
  // at most kMaxToldLines lines.
  void tell(int client, const std::string& line);
  static constexpr int kMaxToldLines = 64;
  // The same for lines told later, also once the connection has ended: the
  // program's standard error is kept until the function is let go (null
  // when it handed none).
  std::function<void(const std::string&)> teller(int client);

 private:
  struct Block {
    std::string name;
    unsigned char* base;
    size_t size;
    int fd;
    bool linked;  // also under its public name
  };
  struct Client {
    int fd;
    void* channel = nullptr;  // posix_channel::Channel, or null for frames
    uint32_t seen = 0;        // the last request answered
    bool posting = false;     // the program posts drawing into the channel
    channel::RingReader ring;        // how far its posted records are carried out
    std::vector<unsigned char> heads;  // the ring's window heads, made at the first record
    // Frames arrive in pieces and replies leave in pieces: nothing a
    // connection does or does not do makes the server wait for it.
    std::vector<unsigned char> in;   // bytes of frames not complete yet
    std::vector<unsigned char> out;  // replies not written yet
    int passed = -1;                 // a descriptor that came with the bytes
    int passed_err = -1;             // a second one: the program's standard error
    int err = -1;                    // the program's standard error, once its channel is taken
    int told = 0;                    // lines written there
    long long waiting_since = 0;     // a frame or a reply has been stuck since
    // The program has gone, some of what it posted still to be drawn.
    bool departed = false;
    // A command on frames whose answer waits for its long drawing (its
    // reply kept), or that waits untaken for a window's PNG: the frames
    // after it wait in `in`.
    bool frame_held = false;
    bool frame_waits = false;
    int32_t frame_reply = 0;
    // The answer held back while the command's long drawing goes on.
    bool held = false;
    uint32_t held_request = 0;
    int32_t held_reply = 0;
    std::string held_answer;
  };
  // Answers the channel's request `request` with `value` and `text`.
  void publish(Client& c, const Loop& loop, uint32_t request, int32_t value, const std::string& text);
  // One slice of long drawing, and the answers it no longer holds back.
  int slice(const Loop& loop);
  // Carries out every channel's posted slots, then answers every channel
  // with a new request; returns how many of both.
  int serve_channels(const Loop& loop);
  // Carries out the slots client `c` has posted; returns how many.
  // A round of the rings: of each program at most a share of records, and
  // while it is still posting only those that end within whole cache lines
  // (see take_posted).  Otherwise (before a program's request is handled,
  // and when a program goes) all of them.
  int take_posted(Client& c, const Loop& loop, bool round = false);
  int take_all_posted(const Loop& loop, bool round = false);
  // Whether the last serve_channels only took a little posted drawing
  // (the server keeps pace with a program drawing small things).
  bool trickle_ = false;
  void drop(size_t index, const Loop& loop);
  // Whether a program's ring holds records not carried out yet.
  static bool posted_left(const Client& c);
  // Drops the departed programs whose rings are done.
  void drop_departed(const Loop& loop);
  // Reads what the connection sent and handles every complete frame; false
  // when the connection is to be dropped.
  bool read_input(Client& c, const Loop& loop);
  // Handles the complete frames in `in` up to one that is held or waits;
  // false when the connection is to be dropped.
  bool take_frames(Client& c, const Loop& loop);
  enum class Frame { kTaken, kWaits, kBroken };
  Frame handle_frame(Client& c, const Loop& loop, uint32_t kind, const unsigned char* bytes, uint32_t size);
  bool answer_frame(Client& c, int32_t reply);
  // Answers the frames no longer held and takes up the ones that waited.
  void resume_frames(const Loop& loop);
  // Marks since when the connection has kept the server waiting, if it does.
  void note_waiting(Client& c);
  // Writes what it can of the connection's replies; false when it is gone.
  bool write_output(Client& c);
  void accept_client();
  Client* client_of(int fd);
  // The connection being dropped, while the loop hears of its end.
  Client* departing_ = nullptr;
  void set_sleeping(uint32_t value);
  void link_socket();
  // Mends the blocks a program cut short since the last look and tells the
  // loop of each; a single load when none was.
  void mend_lost_blocks(const Loop& loop) {
    if (block_faults_ != block_faults_seen()) mend_blocks(loop);
  }
  static unsigned block_faults_seen();
  void mend_blocks(const Loop& loop);
  unsigned block_faults_ = 0;
  // Makes the block at `base` again under its name when a program removed
  // that: a new file with the block's bytes, mapped in place of the old.
  void renew_block_name(const unsigned char* base);
  long long names_checked_ = 0;

  std::vector<Block> blocks_;
  std::vector<Client> clients_;
  std::vector<unsigned char> command_;
  std::vector<unsigned char> command_block_;  // a channel command's copy of its window block
  std::vector<unsigned char> posted_block_;   // a posted command's window block, rebuilt
  long long spin_ns_ = -1;
  uint32_t windows_gone_ = 0;
  std::string socket_path_;
  std::string socket_link_;  // its name in the block folder, when that differs
  std::string failure_;
  int listen_fd_ = -1;
  int reserve_fd_ = -1;  // given up for a moment to refuse a connection at the limit
  size_t max_clients_ = 256;
  long long handle_ = 0;
  volatile bool stop_ = false;
};

}  // namespace lumo::server

#endif
