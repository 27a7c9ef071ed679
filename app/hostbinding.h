// The in-process host seen from the table window: the host window behind the
// small face the window asks of it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "client/inprocesshost.h"
#include "host/hostwindow.h"

namespace ombrix {

class HostBinding : public client::InProcessHost {
 public:
  explicit HostBinding(HostWindow& host) : host_(host) {}
  void listen(const std::string& port) override { host_.listen(port); }
  int port() const override { return host_.port(); }
  void onNotice(std::function<void(std::string_view)> show) override { host_.onNotice = std::move(show); }

 private:
  HostWindow& host_;
};

}  // namespace ombrix
