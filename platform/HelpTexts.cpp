#include "platform/HelpTexts.h"

#include <algorithm>
#include <cctype>

#include "platform/MessageLibrary.h"

namespace ov::help {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

struct TipOffset {
  int id;
  int dx;
  int dy;
};

// Offsets from the item's left and top edges.
constexpr std::array<TipOffset, 19> kTipOffsets = {{
    {32858, 190, 60},  // Save Log
    {32859, 190, 70},  // Load Log
    {32844, 220, 10},  // View Report
    {32845, 230, 15},  // Print the recovery details
    {32846, 231, 17},  // Email Report
    {32850, 231, 18},  // Delete all recovery logs
    {32847, 210, 10},  // Online
    {32848, 210, 20},  // Email
    {32849, 210, 20},  // Telephonic
    {32852, 210, 22},  // View
    {32853, 210, 22},  // Print
    {32855, 210, 22},  // Email List
    {40003, 310, 15},  // About
    {32802, 280, 10},  // Contents
    {32851, 280, 12},  // Show Balloon Help
    {32860, 380, 60},  // Dutch
    {32861, 380, 65},  // English
    {32862, 380, 68},  // French
    {32863, 380, 70},  // German
}};

// Restore, move, size, minimise and maximise.
constexpr std::array<int, 5> kSystemMenuItems = {0xF120, 0xF010, 0xF000, 0xF020, 0xF030};

struct ModeTexts {
  std::string_view title;
  std::string_view content;
  std::string_view oneLine;  // 9x family without the library
};

constexpr std::array<ModeTexts, 3> kModeTexts = {{
    {"Quick Mode", "This mode quickly analyses the disk and displays the files.",
     "This mode quickly analyses the disk and displays the files."},
    {"Advance Mode",
     "In cases where Quick Mode does not show the required \nfiles to be recovered, then choose Advance mode.",
     "Use this mode when Quick Mode fails to recover files"},
    {"Raw Mode",
     "This mode will be used when above modes fail. It will recover \nDOC, XLS, PPT and ZIP files without "
     "original file names.",
     "Use this mode when above modes fails to recover files"},
}};

}  // namespace

const std::array<Phrase, 16> kPromptPhrases = {{
    {3, "Select all files"},
    {4, "Save files that have been"},
    {5, "Set the options for saving"},
    {6, "Save the recovery information"},
    {7, "Load the recovery information"},
    {8, "Quit from Orlindavestrum"},
    {9, "Update Orlindavestrum"},
    {10, "View the recovery details"},
    {11, "Print the recovery details"},
    {12, "Email recovery details to Tolvane Recovery Center"},
    {13, "Delete all recovery logs"},
    {14, "View Directory Information"},
    {15, "Print Directory Information"},
    {16, "Online chat support \n(only for Tolvane's Data Recovery Centers)"},
    {17, "Support through email"},
    {18, "About Orlindavestrum"},
}};

LanguageState LanguageAtStart(std::string_view lngFile) {
  LanguageState state;
  state.ticked = {true, true, true, true};
  // The exact comparison runs in the order English, French, Dutch, German;
  // the four names differ, so at most one can match.
  for (int i : {1, 2, 0, 3}) {
    if (lngFile == kLanguageFiles[static_cast<std::size_t>(i)]) {
      state.ticked = {false, false, false, false};
      state.ticked[static_cast<std::size_t>(i)] = true;
      break;
    }
  }
  const bool known = std::any_of(kLanguageFiles.begin(), kLanguageFiles.end(),
                                 [&](std::string_view name) { return EqualIgnoringCase(name, lngFile); });
  state.file = known ? std::string(lngFile) : std::string(kDefaultLanguageFile);
  return state;
}

std::optional<LanguageState> LanguageForCommand(int command) {
  if (command < kCmdDutch || command > kCmdGerman) return std::nullopt;
  const auto index = static_cast<std::size_t>(command - kCmdDutch);
  LanguageState state;
  state.file = std::string(kLanguageFiles[index]);
  state.ticked[index] = true;
  return state;
}

Point MenuTipPosition(int itemId, const ItemRect& item) {
  for (const TipOffset& row : kTipOffsets) {
    if (row.id == itemId) return {item.left + row.dx, item.top + row.dy};
  }
  return {item.right + 10, item.top + 20};
}

bool IsSystemMenuItem(int itemId) {
  return std::find(kSystemMenuItems.begin(), kSystemMenuItems.end(), itemId) != kSystemMenuItems.end();
}

std::string TranslatePrompt(std::string_view prompt, const TextFetch& fetch) {
  std::optional<std::string> translated;
  for (const Phrase& phrase : kPromptPhrases) {
    if (prompt.find(phrase.text) == std::string_view::npos) continue;
    if (auto text = fetch(phrase.number)) translated = std::move(text);
  }
  return translated ? *translated : std::string(prompt);
}

BalloonText ModeBalloonText(Mode mode, char osFamily, const TextFetch* fetch) {
  const int index = static_cast<int>(mode) - 1;
  const ModeTexts& texts = kModeTexts[static_cast<std::size_t>(index)];
  if (osFamily != 'F') return {std::string(texts.title), std::string(texts.content)};
  if (fetch) {
    if (auto text = (*fetch)(index)) return {std::move(*text), std::string()};
  }
  return {std::string(texts.oneLine), std::string()};
}

HelpTexts::HelpTexts(Context context) : context_(std::move(context)) {
  language_ = LanguageAtStart("");
}

void HelpTexts::Start() {
  language_ = LanguageAtStart(context_.registry.ReadText(RegistryRoot::ClassesRoot, kProductKey, kLanguageValue));
  balloonHelpOn_ = true;
}

std::string HelpTexts::LanguageFilePath() const { return (context_.installPath / language_.file).string(); }

bool HelpTexts::SetLanguage(int command) {
  auto state = LanguageForCommand(command);
  if (!state) return false;
  language_ = std::move(*state);
  return true;
}

bool HelpTexts::ToggleBalloonHelp() {
  balloonHelpOn_ = !balloonHelpOn_;
  return balloonHelpOn_;
}

void HelpTexts::WithLibrary(const std::function<void(const TextFetch*)>& use) const {
  auto library = MessageLibrary::Load(kHelpTextLibrary, context_.libraryFolders);
  if (!library) {
    use(nullptr);
    return;
  }
  const std::string path = LanguageFilePath();
  const TextFetch fetch = [&](int number) { return library->Fetch(number, path); };
  use(&fetch);
}

MenuTipDecision HelpTexts::MenuSelect(int itemId, const ItemRect& item, std::string_view prompt, bool opensSubmenu,
                              bool closing) const {
  MenuTipDecision tip;
  if (!closing && IsSystemMenuItem(itemId)) {
    tip.kind = MenuTipDecision::Kind::Ignore;
    return tip;
  }
  if (!balloonHelpOn_) return tip;
  if (opensSubmenu || closing) {
    tip.kind = MenuTipDecision::Kind::Hide;
    return tip;
  }
  tip.kind = MenuTipDecision::Kind::Show;
  tip.at = MenuTipPosition(itemId, item);
  tip.text = std::string(prompt.substr(0, 255));
  WithLibrary([&](const TextFetch* fetch) {
    if (fetch) tip.text = TranslatePrompt(tip.text, *fetch);
  });
  return tip;
}

std::optional<BalloonText> HelpTexts::ModeHover(Mode mode) const {
  if (!balloonHelpOn_) return std::nullopt;
  // The NT family never shows a library text here, so the library is not
  // even loaded.
  if (context_.osFamily != 'F') return ModeBalloonText(mode, context_.osFamily, nullptr);
  std::optional<BalloonText> text;
  WithLibrary([&](const TextFetch* fetch) { text = ModeBalloonText(mode, context_.osFamily, fetch); });
  return text;
}

}  // namespace ov::help
