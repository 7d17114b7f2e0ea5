// The start-up steps that need no window: the data root variable, the data
// folder and the outside mail server's registry.
#pragma once

#include <string>

namespace panel {

// The product's workenv, after adopting the older product's choice once:
// while the product value is "ALLUSERSPROFILE" (any case) and the older
// product names another variable, the product takes that name over.
std::string AdoptDataRootVariable();

// Creates every missing level down to the data folder; failures are left
// to the readers and writers of its files.
void CreateDataFolder();

// Points the outside mail server (SOFTWARE\EMWAC\IMS) at the data folder
// once, when it has no UserManager value yet, and refreshes its domain
// index "dummy-domain.idx" from the HTTP proxy's user list.
void SetupMailServerRegistry();

}  // namespace panel
