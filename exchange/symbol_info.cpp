#include "exchange/symbol_info.h"

#include <windows.h>

#include <cstdlib>
#include <locale.h>

#include "exchange/shared_text.h"
#include "exchange/xml_document.h"
#include "ui/com_ptr.h"

int DecimalInteger(const std::wstring& text)
{
    // long is 32 bits here, so wcstol saturates at the limits of the field.
    return static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
}

double DecimalNumber(const std::wstring& text)
{
    static const _locale_t cLocale = _create_locale(LC_NUMERIC, "C");
    return _wtof_l(text.c_str(), cLocale);
}

bool IsOne(const std::wstring& text) { return DecimalInteger(text) == 1; }

void ApplySymbolAttributes(SymbolInfo& info, const std::function<std::wstring(const wchar_t*)>& attribute)
{
    info.Name = attribute(L"Name");
    info.Company = attribute(L"Company");
    info.Digits = DecimalInteger(attribute(L"Digits"));
    info.Ask = DecimalNumber(attribute(L"Ask"));
    info.Bid = DecimalNumber(attribute(L"Bid"));
    info.AskUp = IsOne(attribute(L"AskUp"));
    info.BidUp = IsOne(attribute(L"BidUp"));
    info.Vol = DecimalNumber(attribute(L"Vol"));
    info.Profit = DecimalNumber(attribute(L"Profit"));
    info.BEPrice = DecimalNumber(attribute(L"BEPrice"));
}

void ReadSymbolInfo(SymbolInfo& info)
{
    std::wstring none;
    ReadSymbolInfo(info, none);
}

void ReadSymbolInfo(SymbolInfo& info, std::wstring& lastText)
{
    const std::wstring text = ReadSharedText(infoDocumentName());
    if (text.empty() || text == lastText)
        return;
    win::ComPtr<IXMLDOMDocument> document;
    // Without a parser there is nothing to read the text with: no new data, as for a text that does not
    // parse, and the next tick tries again.
    if (FAILED(CreateXmlDocument(document.put())))
        return;
    bool parsed = false;
    if (FAILED(ParseXml(document.get(), text, parsed)))
        return;
    // A text that does not parse will not parse the next time either.
    lastText = text;
    if (!parsed)
        return;
    ApplySymbolAttributes(info, [&](const wchar_t* name) { return GetRootAttribute(document.get(), name); });
}
