#pragma once
// The main window's menus and toolbar as data, and the commands behind them by class name, so the
// window builds its controls from one table and binds each to its command.
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QObject;

namespace hv {

class TCommand;

// One menu item. Command names the command class (empty for items the window handles itself);
// an item with Children is a submenu; an item without caption is a separator.
struct TMenuItemSpec {
  const char* ObjectName;
  const char* Caption;
  const char* Shortcut;  // in QKeySequence's portable text form, several split by "; "; empty for none
  const char* Command;
  bool Visible = true;
  std::vector<TMenuItemSpec> Children = {};
};

struct TMenuSpec {
  const char* ObjectName;
  const char* Caption;
  std::vector<TMenuItemSpec> Items;
  bool Visible = true;
};

struct TToolButtonSpec {
  const char* ObjectName;
  const char* Hint;
  int Glyph;  // index into the button glyph table; -1 for a button drawn from Artwork
  const char* Command;
  const char* Artwork = nullptr;  // the name of a button image of its own
};

const std::vector<TMenuSpec>& MainMenuSpec();
const std::vector<TToolButtonSpec>& ToolbarSpec();
// The command classes the main window creates, in the order it creates them.
const std::vector<const char*>& MainWindowCommandOrder();

// Makes a command with its controls (either may be null) under owner.
using TCommandCreator = TCommand* (*)(QObject* owner, QAction* menuItem, QObject* button);

// Layers above this one add the commands they implement (printing, export, analysis).
void RegisterCommandClass(std::string name, TCommandCreator creator);
// The creator of a command class, or null when no layer has registered it.
TCommandCreator FindCommandClass(std::string_view name);

}  // namespace hv
