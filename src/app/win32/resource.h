// Identifiers used by the resource script beyond those the core shares.
#ifndef CORVELLE_APP_WIN32_RESOURCE_H
#define CORVELLE_APP_WIN32_RESOURCE_H

#include "view/control_ids.h"

// Labels and frames that no code addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
