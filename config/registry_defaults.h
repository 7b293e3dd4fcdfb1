#ifndef VTCONSOLE_CONFIG_REGISTRY_DEFAULTS_H
#define VTCONSOLE_CONFIG_REGISTRY_DEFAULTS_H

// Lets Internet Explorer accept a user name and password in a URL. Best effort.
void EnableUrlCredentials();

// Makes conf\services.xml from its default when missing and fills in the client's two
// preferences when they are missing. Best effort.
void ApplyClientPreferenceDefaults();

#endif
