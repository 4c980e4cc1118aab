// The link control's stored texts, decoded on use.
#pragma once

// Name of the property holding the window procedure a subclass replaced.
const char* previousProcedureProperty();
// Name of the property pointing at a link's text colour.
const char* linkColourProperty();
// The document a click on the link opens: the maker's web address.
const char* linkTarget();
// The shell operation performed on the link target.
const char* linkVerb();
