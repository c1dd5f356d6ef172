// The panel's reads of the order command document, and the gate a decoded reply passes before it is one.
#include "exchange/order_document.h"

#include <vector>

#include "exchange/shared_text.h"
#include "exchange/xml_document.h"
#include "win/com_ptr.h"
#include "win/fatal_error.h"

bool orderCompleted()
{
    win::ComPtr<IXMLDOMDocument> document;
    if (FAILED(CreateXmlDocument(document.put())))
        return false;
    const std::wstring text = ReadSharedText(orderDocumentName());
    if (text.empty())
        return false;
    bool parsed = false;
    if (FAILED(ParseXml(document.get(), text, parsed)))
        ReportFatalError(L"CMainWindow::orderCompleted");
    // Done exactly when the expert has set "Type" to "NONE".
    return parsed && GetRootAttribute(document.get(), L"Type") == L"NONE";
}

std::wstring errorDescription()
{
    win::ComPtr<IXMLDOMDocument> document;
    if (FAILED(CreateXmlDocument(document.put())))
        return L"pXMLDom==NULL";
    const std::wstring text = ReadSharedText(orderDocumentName());
    // An empty document is what a failed exchange with the service leaves.
    if (text.empty())
        return L"Unknown Error.";
    bool parsed = false;
    if (FAILED(ParseXml(document.get(), text, parsed)))
        ReportFatalError(L"CMainWindow::errorDescription");
    return parsed ? GetRootAttribute(document.get(), L"Error") : std::wstring();
}

namespace {

bool IsXmlDeclaration(IXMLDOMNode* node)
{
    win::UniqueBstr name;
    if (FAILED(node->get_nodeName(name.put())) || !name)
        return false;
    return std::wstring(name.get(), SysStringLen(name.get())) == L"xml";
}

// The node's children in order; false when the parser could not hand them out.
bool ChildrenOf(IXMLDOMNode* node, std::vector<win::ComPtr<IXMLDOMNode>>& children)
{
    win::ComPtr<IXMLDOMNode> child;
    if (FAILED(node->get_firstChild(child.put())))
        return false;
    while (child) {
        win::ComPtr<IXMLDOMNode> next;
        if (FAILED(child->get_nextSibling(next.put())))
            return false;
        children.push_back(std::move(child));
        child = std::move(next);
    }
    return true;
}

// Below the root only elements, their text, CDATA and comments (attributes are no children here).
bool IsPlainContent(DOMNodeType type)
{
    return type == NODE_ELEMENT || type == NODE_TEXT || type == NODE_CDATA_SECTION || type == NODE_COMMENT;
}

}  // namespace

bool IsOneElementTree(const std::wstring& text)
{
    // The parser refuses a document type declaration already (so no entity can be declared); what it
    // accepts is walked node by node.
    win::ComPtr<IXMLDOMDocument> document;
    bool parsed = false;
    if (FAILED(CreateXmlDocument(document.put())) || FAILED(ParseXml(document.get(), text, parsed)) || !parsed)
        return false;
    std::vector<win::ComPtr<IXMLDOMNode>> pending;
    {
        std::vector<win::ComPtr<IXMLDOMNode>> top;
        if (!ChildrenOf(document.get(), top))
            return false;
        int elements = 0;
        for (size_t i = 0; i < top.size(); ++i) {
            DOMNodeType type = NODE_INVALID;
            if (FAILED(top[i]->get_nodeType(&type)))
                return false;
            if (type == NODE_ELEMENT) {
                ++elements;
                pending.push_back(std::move(top[i]));
            } else if (type == NODE_PROCESSING_INSTRUCTION) {
                if (i != 0 || !IsXmlDeclaration(top[i].get()))
                    return false;
            } else if (type != NODE_COMMENT) {
                return false;
            }
        }
        if (elements != 1)
            return false;
    }
    // The tree below the root, without recursion: a deep reply cannot exhaust the stack.
    while (!pending.empty()) {
        win::ComPtr<IXMLDOMNode> node = std::move(pending.back());
        pending.pop_back();
        std::vector<win::ComPtr<IXMLDOMNode>> children;
        if (!ChildrenOf(node.get(), children))
            return false;
        for (auto& child : children) {
            DOMNodeType type = NODE_INVALID;
            if (FAILED(child->get_nodeType(&type)) || !IsPlainContent(type))
                return false;
            if (type == NODE_ELEMENT)
                pending.push_back(std::move(child));
        }
    }
    return true;
}
