#include "client/tablerequests.h"

#include "client/tableevents.h"  // Handlers
#include "protocol/commands.h"

namespace ombrix::client {

std::string messageOf(const TableRequest& request) {
  namespace build = wire::build;
  std::string m;
  std::visit(Handlers{[&](const rq::LogIn& r) { build::logininfo(m, r.slot, wire::kVersion, r.name); },
                       [&](const rq::Chat& r) { build::chat(m, r.slot, r.text, r.colour); },
                       [&](const rq::Action& r) { build::action(m, r.slot, r.text, r.colour); },
                       [&](const rq::Sound& r) { build::playasoundRequest(m, r.slot, r.wave); },
                       [&](const rq::StartGame& r) { build::startgameRequest(m, r.name, r.half); },
                       [&](const rq::Bid& r) { build::bid(m, r.slot, r.bid); },
                       [&](const rq::PlayCard& r) { build::playcardRequest(m, r.slot, r.position); },
                       [&](const rq::JustWatch& r) { build::justwatch(m, r.seat, r.watch); },
                       [&](const rq::Kick& r) { build::kickhim(m, r.slot, r.target); },
                       [&](const rq::BotSpeed& r) { build::botspeed(m, r.slot, r.ms); },
                       [&](const rq::BotSkill& r) { build::botskill(m, r.slot, r.skill); },
                       [&](const rq::HouseRules& r) { build::rulesRequest(m, r.slot, r.list); }},
             request);
  return m;
}

}  // namespace ombrix::client
