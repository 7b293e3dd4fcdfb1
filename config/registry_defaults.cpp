#include "config/registry_defaults.h"

// Not built yet: both steps do nothing until the registry defaults land.
void EnableUrlCredentials() {}
void ApplyClientPreferenceDefaults() {}
