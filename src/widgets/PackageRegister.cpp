// Every unit of the package registers here; a unit adds its Register() call when it lands.
#include "widgets/Package.h"

namespace zuvo::widgets {

void RegisterAll() {
}

}  // namespace zuvo::widgets
