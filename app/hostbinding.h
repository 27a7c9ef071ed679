// The in-process host seen from the table window: the host window behind the
// small face the window asks of it, and the solo game's save.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "client/inprocesshost.h"
#include "host/hostsockets.h"
#include "host/savegame.h"

namespace ombrix {

class HostBinding : public client::InProcessHost {
 public:
  // `savePath`: where a solo game is saved; empty keeps no save.
  explicit HostBinding(HostSockets& host, std::string savePath = {})
      : host_(host), savePath_(std::move(savePath)) {}
  void listen(const std::string& port) override { host_.listen(port); }
  int port() const override { return host_.port(); }
  void onNotice(std::function<void(std::string_view)> show) override { host_.onNotice = std::move(show); }

  std::optional<client::SavedGame> openSave(std::string* report) override {
    if (savePath_.empty() || saver_) return std::nullopt;
    saver_ = std::make_unique<GameSaver>(host_.server(), savePath_);
    saver_->onError = [this](std::string_view why) {
      if (host_.onNotice) host_.onNotice("The game could not be saved: " + std::string(why));
    };
    SaveFile::Loaded loaded = saver_->file().read();
    if (report) *report = std::move(loaded.report);
    loaded_ = std::move(loaded.state);
    if (!loaded_) return std::nullopt;
    client::SavedGame saved{loaded_->roundNumber, loaded_->roundPoints, {}, loaded_->starter};
    for (const PublicEvent& e : loaded_->publicLog)
      saved.told.push_back({static_cast<client::SavedGame::Told::Kind>(e.kind), e.a, e.b});
    return saved;
  }
  bool resumeSave() override {
    const bool resumed = loaded_ && host_.server().resume(*loaded_);
    loaded_.reset();
    return resumed;
  }
  void discardSave() override {
    loaded_.reset();
    if (saver_) saver_->file().remove();
  }
  void saveNow() override {
    if (saver_) saver_->saveNow();
  }
  GameSaver* saver() { return saver_.get(); }

 private:
  HostSockets& host_;
  std::string savePath_;
  std::unique_ptr<GameSaver> saver_;
  std::optional<GameState> loaded_;
};

}  // namespace ombrix
