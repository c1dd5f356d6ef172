#include "exchange/symbol_info.h"

#include <windows.h>

#include <cstdlib>
#include <locale.h>

#include "exchange/shared_text.h"
#include "exchange/xml_document.h"
#include "win/com_ptr.h"

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

bool ApplySymbolAttributes(SymbolInfo& info,
                           const std::function<std::optional<std::wstring>(const wchar_t*)>& attribute)
{
    // Read into a record of its own: a read that fails half way shows no "0" volume or empty company.
    SymbolInfo read;
    bool whole = true;
    const auto text = [&](const wchar_t* name) {
        std::optional<std::wstring> value = attribute(name);
        whole = whole && value.has_value();
        return value.value_or(std::wstring());
    };
    read.Name = text(L"Name");
    read.Company = text(L"Company");
    read.Digits = DecimalInteger(text(L"Digits"));
    read.Ask = DecimalNumber(text(L"Ask"));
    read.Bid = DecimalNumber(text(L"Bid"));
    read.AskUp = IsOne(text(L"AskUp"));
    read.BidUp = IsOne(text(L"BidUp"));
    read.Vol = DecimalNumber(text(L"Vol"));
    read.Profit = DecimalNumber(text(L"Profit"));
    read.BEPrice = DecimalNumber(text(L"BEPrice"));
    if (whole)
        info = std::move(read);
    return whole;
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
    // A text that does not parse will not parse the next time either; one whose attributes could not all
    // be read is read again at the next tick.
    if (!parsed) {
        lastText = text;
        return;
    }
    if (ApplySymbolAttributes(info, [&](const wchar_t* name) { return ReadRootAttribute(document.get(), name); }))
        lastText = text;
}
