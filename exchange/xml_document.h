// The XML parser the panel reads both documents with: an MSXML 6.0 DOM document through COM.
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <optional>
#include <string>

// Creates a DOMDocument60 with asynchronous loading, validation and external resolution off. On failure
// the document stays null and the failure code is returned.
HRESULT CreateXmlDocument(IXMLDOMDocument** document);

// Parses the whole text. The result of the call: S_OK or S_FALSE with parsed telling whether the text was
// well-formed XML without a document type declaration, or a failure code of the parser itself.
HRESULT ParseXml(IXMLDOMDocument* document, const std::wstring& text, bool& parsed);

// The named attribute of the root element, looked up by its exact name; empty when the document, the root
// element or the attribute is missing.
std::wstring GetRootAttribute(IXMLDOMDocument* document, const wchar_t* name);
// The same, telling an attribute that is not there (the empty text) from one that could not be read
// (nullopt: no memory, a COM failure).
std::optional<std::wstring> ReadRootAttribute(IXMLDOMDocument* document, const wchar_t* name);
