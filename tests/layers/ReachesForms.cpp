// Reaches the form framework: builds in a layer above forms, never in data or core.
#include "host/forms/Forms.h"
