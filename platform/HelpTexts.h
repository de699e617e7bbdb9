#pragma once
// The window's help texts, without the window: the help language and its
// menu ticks, the balloon help switch, what a menu tip shows and where, and
// the texts of the mode balloons. Texts other than the built-in English
// ones come from the message library "OVTextLibA.dll", loaded for each
// lookup and released right after it.
//
// All texts are the program's 8-bit text (Latin-1).

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace ov::help {

// Menu commands.
inline constexpr int kCmdShowBalloonHelp = 32851;
inline constexpr int kCmdDutch = 32860;
inline constexpr int kCmdEnglish = 32861;
inline constexpr int kCmdFrench = 32862;
inline constexpr int kCmdGerman = 32863;

// The mode buttons.
inline constexpr int kQuickButton = 1027;
inline constexpr int kAdvanceButton = 1028;
inline constexpr int kRawButton = 1029;

inline constexpr std::string_view kProductKey = "OrlindavestrumNSS";
inline constexpr std::string_view kLanguageValue = "LngFile";
inline constexpr std::string_view kDefaultLanguageFile = "EnglishA.dat";

// The language files in the order of their commands 32860 .. 32863.
inline constexpr std::array<std::string_view, 4> kLanguageFiles = {"DutchA.dat", "EnglishA.dat",
                                                                   "FrenchA.dat", "GermanA.dat"};

struct LanguageState {
  std::string file;                // the language file name
  std::array<bool, 4> ticked{};    // the ticks of 32860 .. 32863
};

// The language at start from the registry value (empty when missing): a
// name that equals one of the four exactly keeps that item's tick alone;
// otherwise all four stay ticked. A name equal to one of them ignoring case
// is taken as read; any other gives "EnglishA.dat".
LanguageState LanguageAtStart(std::string_view lngFile);

// The state after one of the commands 32860 .. 32863; nothing for any other.
std::optional<LanguageState> LanguageForCommand(int command);

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// A menu item's screen rectangle.
struct ItemRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Where the menu tip of an item points: the item's rectangle plus the
// offsets of its row in the tip table, else 10 right of the item and 20
// below its top.
Point MenuTipPosition(int itemId, const ItemRect& item);

// The first five items of the window's system menu (restore, move, size,
// minimise, maximise), whose selection shows no tip.
bool IsSystemMenuItem(int itemId);

// Fetches text `number` from the message library; nothing when it cannot.
using TextFetch = std::function<std::optional<std::string>(int number)>;

// The phrases searched for in a menu prompt, with the numbers of their
// translations.
struct Phrase {
  int number;
  std::string_view text;
};
extern const std::array<Phrase, 16> kPromptPhrases;

// The prompt translated: every phrase it contains fetches its text, the
// last one fetched winning; a prompt that contains none, or whose texts
// could not be fetched, stays as it is.
std::string TranslatePrompt(std::string_view prompt, const TextFetch& fetch);

enum class Mode { Quick = 1, Advance = 2, Raw = 3 };

struct BalloonText {
  std::string title;
  std::string content;
  friend bool operator==(const BalloonText&, const BalloonText&) = default;
};

// The mode balloon's texts. The NT family ('N') always shows the built-in
// title and description; the 9x family ('F') shows the library's text as the
// title (fetch given), or the built-in one-line English text when the
// library is missing or its text cannot be had.
BalloonText ModeBalloonText(Mode mode, char osFamily, const TextFetch* fetch);

// What the menu tip does on one menu selection.
struct MenuTipDecision {
  enum class Kind { Ignore, Nothing, Hide, Show };
  Kind kind = Kind::Nothing;
  Point at;
  std::string text;
};

// The help state of one run of the window.
class HelpTexts {
public:
  struct Context {
    Registry& registry;
    std::filesystem::path installPath;                 // holds the language files
    std::vector<std::filesystem::path> libraryFolders;  // where the library is looked for
    char osFamily = 'N';
  };

  explicit HelpTexts(Context context);

  // Reads the language from the registry; balloon help is switched on.
  void Start();

  const LanguageState& language() const { return language_; }
  bool balloonHelpOn() const { return balloonHelpOn_; }
  // The language file as the library is given it: the installation folder
  // joined with the language file name.
  std::string LanguageFilePath() const;

  // Commands 32860 .. 32863; false for any other id. Nothing is written to
  // the registry.
  bool SetLanguage(int command);
  // Command 32851; returns the new state.
  bool ToggleBalloonHelp();

  // One menu selection: the item, its rectangle and prompt, whether it
  // opens a submenu, and whether the menu is closing.
  MenuTipDecision MenuSelect(int itemId, const ItemRect& item, std::string_view prompt, bool opensSubmenu,
                     bool closing) const;

  // The balloon for a hovered mode button; nothing while balloon help is off.
  std::optional<BalloonText> ModeHover(Mode mode) const;

  // Runs `use` with a fetch from a freshly loaded library (null when the
  // library cannot be loaded), releasing the library afterwards.
  void WithLibrary(const std::function<void(const TextFetch*)>& use) const;

private:
  Context context_;
  LanguageState language_;
  bool balloonHelpOn_ = true;
};

}  // namespace ov::help
