// Reaches the headless backend: builds in the widgetset layer, never in forms, which sees
// only the backend interface.
#include "host/widgetset/HeadlessWidgetSet.h"
