// Lookups in templates and loaded windows, and the initial state of a window.
#include "frame/window_model.h"

#include <algorithm>

namespace frame {

bool KindRaisesEvents(ControlKind kind) {
  return kind != ControlKind::kGroupBox && kind != ControlKind::kProgressBar;
}

const ControlTemplate* WindowTemplate::Find(uint32_t control_id) const {
  auto it = std::find_if(controls.begin(), controls.end(),
                         [&](const ControlTemplate& c) { return c.id == control_id; });
  return it == controls.end() ? nullptr : &*it;
}

const ControlTemplate* WindowTemplate::Find(std::string_view control_name) const {
  auto it = std::find_if(controls.begin(), controls.end(),
                         [&](const ControlTemplate& c) { return c.name == control_name; });
  return it == controls.end() ? nullptr : &*it;
}

ControlState* WindowState::Find(uint32_t control_id) {
  auto it = std::find_if(controls.begin(), controls.end(),
                         [&](const ControlState& c) { return c.tmpl->id == control_id; });
  return it == controls.end() ? nullptr : &*it;
}

const ControlState* WindowState::Find(uint32_t control_id) const {
  return const_cast<WindowState*>(this)->Find(control_id);
}

WindowState MakeWindowState(const WindowTemplate& tmpl) {
  WindowState window;
  window.tmpl = &tmpl;
  window.controls.reserve(tmpl.controls.size());
  for (const ControlTemplate& t : tmpl.controls) {
    ControlState c;
    c.tmpl = &t;
    c.window = tmpl.id;
    c.rect = t.rect;
    c.visible = t.visible;
    c.text = t.caption;
    for (const ListColumn& column : t.columns) c.column_widths.push_back(column.width);
    window.controls.push_back(std::move(c));
  }
  return window;
}

}  // namespace frame
