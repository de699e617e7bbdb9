#include "ui/dialogs/SaveCommands.h"

namespace ov {

SaveCommandDecision DecideSaveCommand(SaveCommand command, int wizardStep) {
  if (const auto refusal = SaveButtonRefusal(wizardStep)) {
    if (command == SaveCommand::Button) return {std::nullopt, refusal};
    return {};
  }
  switch (command) {
    case SaveCommand::ListPopup: return {SaveSource::List, std::nullopt};
    case SaveCommand::Found: return {SaveSource::Found, std::nullopt};
    default: return {SaveSource::Tree, std::nullopt};
  }
}

RecoveryInfoItems RecoveryInfoItemsForView(int view) {
  switch (view) {
    case 0: return {std::nullopt, true};
    case 1: return {std::nullopt, false};
    case 6: return {true, std::nullopt};
    case 7: return {false, std::nullopt};
    default: return {};
  }
}

}  // namespace ov
