// The widget package's class table. Each control's unit has a Register() that names its class
// here, as a component package does for a form designer's palette; at run time the table only
// answers which classes the package holds.
#pragma once

#include <string>
#include <vector>

namespace zuvo::widgets {

// Adds a class name once (a second registration of the same name is ignored).
void RegisterComponentClass(const char* className);
// The registered class names, in registration order.
std::vector<std::string> RegisteredComponentClasses();
// Calls every unit's Register().
void RegisterAll();

}  // namespace zuvo::widgets
