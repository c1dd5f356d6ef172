// The order command document: the panel writes the decoded command, the expert executes it and marks it.
#pragma once

#include <string>

// True when the expert has set the root's "Type" to "NONE".
bool orderCompleted();
// The text for the Executing dialog's second line: the root's "Error", "Unknown Error." for an empty
// document, nothing for one that does not parse.
std::wstring errorDescription();

// Whether a decoded reply may reach the expert: one well-formed element tree, an XML declaration at most
// before it and comments around it; no document type declaration, no entity, no processing instruction.
// The expert's parser is not ours: anything else could make it expand, fetch or run what the reply says.
bool IsOneElementTree(const std::wstring& text);
