// What the table window needs of a host that runs in the same process: to
// listen, the port it listens on, and a way to show the host's notices. The
// host lives below the window's layers; app/ binds the two (app/hostbinding.h),
// so the window's library links no host.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ombrix::client {

class InProcessHost {
 public:
  virtual ~InProcessHost() = default;
  // Starts listening; port "0" takes any free one. Throws on failure.
  virtual void listen(const std::string& port) = 0;
  virtual int port() const = 0;
  // The host's message boxes ("Card does't exist"), to be shown without
  // blocking the dispatch.
  virtual void onNotice(std::function<void(std::string_view)> show) = 0;
};

}  // namespace ombrix::client
