// Drives the host message windows with an arbitrary sequence of operations:
// create, destroy, post, take, count and poll, on up to four windows at once,
// some of them already destroyed. A model of each window's queue predicts
// every result: messages come out first in, first out and are never lost or
// duplicated, a full window refuses the post, the descriptor polls readable
// exactly while messages wait, and a destroyed handle answers as a dead one.
//
// Some inputs also start a second thread that posts a numbered run of
// messages while this thread takes them: the numbers must arrive in order,
// each once, and every post that was accepted must arrive.
#include <poll.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <thread>
#include <vector>

#include "fuzz_support.h"
#include "kolthermo/kolthermo_host.h"

namespace {

constexpr unsigned int kFrameReady = KOLTHERMO_MSG_FRAME_READY;
constexpr unsigned int kEvent = KOLTHERMO_MSG_EVENT;

using kt::fuzz::Expect;
using kt::fuzz::Input;

struct Message {
  unsigned int message;
  uintptr_t wparam;
  intptr_t lparam;
};

struct ModelWindow {
  KolThermoHWND handle = nullptr;
  bool live = false;
  std::deque<Message> queue;
};

bool Readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

void CheckState(const ModelWindow& window) {
  if (window.live) {
    Expect(KolThermoHost_PendingCount(window.handle) == static_cast<int>(window.queue.size()));
    const int fd = KolThermoHost_GetFd(window.handle);
    Expect(fd >= 0);
    Expect(Readable(fd) == !window.queue.empty());
  } else if (window.handle != nullptr) {
    Expect(KolThermoHost_PendingCount(window.handle) == -1);
    Expect(KolThermoHost_GetFd(window.handle) == -1);
  }
}

void Post(ModelWindow& window, const Message& message) {
  const int posted =
      KolThermoHost_PostMessage(window.handle, message.message, message.wparam, message.lparam);
  const bool room = window.live && window.queue.size() < KOLTHERMO_HOST_QUEUE_LIMIT;
  Expect(posted == (room ? 1 : 0));
  if (room) window.queue.push_back(message);
}

void Take(ModelWindow& window) {
  KolThermoHostMessage got{};
  const int result = KolThermoHost_WaitMessage(window.handle, 0, &got);
  if (!window.live) {
    Expect(result == KOLTHERMO_HOST_BAD_WINDOW);
    return;
  }
  if (window.queue.empty()) {
    Expect(result == KOLTHERMO_HOST_TIMEOUT);
    return;
  }
  Expect(result == KOLTHERMO_HOST_MESSAGE);
  const Message expected = window.queue.front();
  window.queue.pop_front();
  Expect(got.message == expected.message && got.wparam == expected.wparam &&
         got.lparam == expected.lparam);
}

// A second thread posts `count` numbered messages while this one takes them.
void RaceOnePosterOneReader(uint32_t count) {
  KolThermoHWND window = KolThermoHost_CreateWindow();
  if (window == nullptr) return;
  std::vector<int> accepted(count, 0);
  std::atomic<bool> posted_all{false};
  std::thread poster([&] {
    for (uint32_t i = 0; i < count; ++i) {
      accepted[i] = KolThermoHost_PostMessage(window, KOLTHERMO_MSG_FRAME_READY, 0, i);
    }
    posted_all.store(true);
  });
  std::vector<intptr_t> received;
  KolThermoHostMessage got{};
  // The poster never blocks; once it has posted everything, an empty queue
  // means every accepted message has been taken.
  for (;;) {
    const bool finished = posted_all.load();
    const int result = KolThermoHost_WaitMessage(window, 20, &got);
    Expect(result != KOLTHERMO_HOST_BAD_WINDOW);
    if (result == KOLTHERMO_HOST_MESSAGE) {
      received.push_back(got.lparam);
    } else if (finished) {
      break;
    }
  }
  poster.join();
  std::vector<intptr_t> expected;
  for (uint32_t i = 0; i < count; ++i) {
    if (accepted[i] == 1) expected.push_back(static_cast<intptr_t>(i));
  }
  Expect(received == expected);
  Expect(KolThermoHost_DestroyWindow(window) == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  ModelWindow windows[4];
  // Handles of destroyed windows stay in the model so that later operations
  // on them are checked as on dead handles; the library never hands the same
  // handle value out while the old one could be mistaken for it.
  int operations = 0;
  while (input.more() && operations++ < 4096) {
    const uint8_t op = input.Byte();
    ModelWindow& window = windows[(op >> 4) & 3];
    switch (op & 0x0F) {
      case 0:
        if (!window.live) {
          window.handle = KolThermoHost_CreateWindow();
          Expect(window.handle != nullptr);
          window.live = true;
          window.queue.clear();
        }
        break;
      case 1:
        if (window.handle != nullptr) {
          Expect(KolThermoHost_DestroyWindow(window.handle) == (window.live ? 1 : 0));
          window.live = false;
          window.queue.clear();
        }
        break;
      case 2:
      case 3:
      case 4:
        if (window.handle != nullptr) {
          Post(window, Message{(input.Byte() & 1) != 0 ? kEvent : kFrameReady, input.Byte(),
                               static_cast<intptr_t>(static_cast<int32_t>(input.Word()))});
        }
        break;
      case 5: {
        // A burst that may reach the queue limit.
        const uint32_t burst = (static_cast<uint32_t>(input.Byte()) << 6) + 1;
        for (uint32_t i = 0; i < burst && window.handle != nullptr; ++i) {
          Post(window, Message{kFrameReady, 0, static_cast<intptr_t>(i)});
        }
        break;
      }
      case 6:
      case 7:
      case 8:
        if (window.handle != nullptr) Take(window);
        break;
      case 9:
        CheckState(window);
        break;
      case 10:
        if (window.handle != nullptr) {
          Expect(KolThermoHost_WaitMessage(window.handle, 0, nullptr) == KOLTHERMO_HOST_BAD_WINDOW);
        }
        break;
      case 11:
        RaceOnePosterOneReader((static_cast<uint32_t>(input.Byte()) << 4) + 1);
        break;
      default:
        if (window.handle != nullptr) {
          while (!window.queue.empty()) Take(window);
          Take(window);
          CheckState(window);
        }
        break;
    }
  }
  for (ModelWindow& window : windows) {
    CheckState(window);
    if (window.live) Expect(KolThermoHost_DestroyWindow(window.handle) == 1);
  }
  return 0;
}
