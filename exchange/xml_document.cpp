#include "exchange/xml_document.h"

#include "win/com_ptr.h"

#include <new>

namespace {

// DOMDocument60 and IXMLDOMDocument; mingw's headers lack the MSXML 6 class.
constexpr CLSID clsidDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
constexpr IID iidXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

}  // namespace

HRESULT CreateXmlDocument(IXMLDOMDocument** document)
{
    *document = nullptr;
    const HRESULT result = CoCreateInstance(clsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, iidXmlDomDocument,
                                            reinterpret_cast<void**>(document));
    if (FAILED(result)) {
        *document = nullptr;
        return result;
    }
    // Parse synchronously what is given, and fetch nothing from outside it.
    (*document)->put_async(VARIANT_FALSE);
    (*document)->put_validateOnParse(VARIANT_FALSE);
    (*document)->put_resolveExternals(VARIANT_FALSE);
    return result;
}

HRESULT ParseXml(IXMLDOMDocument* document, const std::wstring& text, bool& parsed)
{
    parsed = false;
    // Our documents have no DTD, and the parser would expand the entities one declares: a 500-byte text
    // could grow into gigabytes. A document type declaration is refused like text that does not parse.
    if (text.find(L"<!DOCTYPE") != std::wstring::npos)
        return S_FALSE;
    const win::UniqueBstr xml(text.c_str());
    if (!xml)
        return E_OUTOFMEMORY;
    VARIANT_BOOL success = VARIANT_FALSE;
    const HRESULT result = document->loadXML(xml.get(), &success);
    parsed = SUCCEEDED(result) && success == VARIANT_TRUE;
    return result;
}

std::wstring GetRootAttribute(IXMLDOMDocument* document, const wchar_t* name)
{
    try {
        return ReadRootAttribute(document, name).value_or(std::wstring());
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::optional<std::wstring> ReadRootAttribute(IXMLDOMDocument* document, const wchar_t* name)
{
    if (!document)
        return std::nullopt;
    win::ComPtr<IXMLDOMElement> root;
    if (FAILED(document->get_documentElement(root.put())) || !root)
        return std::nullopt;
    win::ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (FAILED(root->get_attributes(attributes.put())) || !attributes)
        return std::nullopt;
    const win::UniqueBstr attributeName(name);
    win::ComPtr<IXMLDOMNode> attribute;
    if (!attributeName)
        return std::nullopt;
    const HRESULT found = attributes->getNamedItem(attributeName.get(), attribute.put());
    if (FAILED(found))
        return std::nullopt;
    if (!attribute)
        return std::wstring();  // not there
    win::UniqueVariant value;
    if (FAILED(attribute->get_nodeValue(value.put())) || value.get().vt != VT_BSTR || !value.get().bstrVal)
        return std::nullopt;
    try {
        return std::wstring(value.get().bstrVal, SysStringLen(value.get().bstrVal));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}
