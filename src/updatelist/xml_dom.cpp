#include "updatelist/xml_dom.h"

#include <objbase.h>

namespace tarvolin {
namespace {

constexpr wchar_t kDomDocumentProgId[] = L"Msxml2.DOMDocument";
// In-process, local and remote servers, as the document object has always been asked for.
constexpr DWORD kDomClassContext = 0x17;

}  // namespace

bool XmlNode::Name(std::wstring& name) const {
  if (!node_) return false;
  unique_bstr text;
  if (FAILED(node_->get_nodeName(text.put()))) return false;
  name = BstrText(text.get());
  return true;
}

bool XmlNode::IsElement(bool& element) const {
  if (!node_) return false;
  DOMNodeType type = NODE_INVALID;
  if (FAILED(node_->get_nodeType(&type))) return false;
  element = type == NODE_ELEMENT;
  return true;
}

bool XmlNode::Text(std::wstring& text) const {
  if (!node_) return false;
  unique_bstr value;
  if (FAILED(node_->get_text(value.put()))) return false;
  text = BstrText(value.get());
  return true;
}

bool XmlNode::Children(std::vector<XmlNode>& children) const {
  children.clear();
  if (!node_) return false;
  com_ptr<IXMLDOMNodeList> list;
  if (FAILED(node_->get_childNodes(list.put())) || !list) return false;
  long length = 0;
  if (FAILED(list->get_length(&length)) || length < 0) return false;
  children.reserve(static_cast<std::size_t>(length));
  for (long i = 0; i < length; ++i) {
    com_ptr<IXMLDOMNode> child;
    if (FAILED(list->get_item(i, child.put())) || !child) return false;
    children.emplace_back(std::move(child));
  }
  return true;
}

bool XmlNode::Attribute(std::wstring_view name, std::wstring& value) const {
  value.clear();
  if (!node_) return false;
  com_ptr<IXMLDOMNamedNodeMap> attributes;
  if (FAILED(node_->get_attributes(attributes.put()))) return false;
  if (!attributes) return true;  // text, comment and other nodes have none
  unique_bstr key = MakeBstr(name);
  if (!key) return false;
  com_ptr<IXMLDOMNode> attribute;
  if (FAILED(attributes->getNamedItem(key.get(), attribute.put()))) return false;
  if (!attribute) return true;
  unique_variant raw;
  HRESULT hr = attribute->get_nodeValue(raw.put());
  if (SUCCEEDED(hr) && raw.get().vt == VT_BSTR) value = BstrText(raw.get().bstrVal);
  return SUCCEEDED(hr);
}

bool XmlNode::RemoveChild(const XmlNode& child) const {
  if (!node_ || !child.node_) return false;
  com_ptr<IXMLDOMNode> removed;
  return SUCCEEDED(node_->removeChild(child.node_.get(), removed.put()));
}

bool XmlNode::HasChildren(bool& has_children) const {
  if (!node_) return false;
  VARIANT_BOOL value = VARIANT_FALSE;
  if (FAILED(node_->hasChildNodes(&value))) return false;
  has_children = value == VARIANT_TRUE;
  return true;
}

bool XmlNode::ChildElement(std::wstring_view name, XmlNode& child) const {
  std::vector<XmlNode> children;
  if (!Children(children)) return false;
  for (const XmlNode& candidate : children) {
    bool element = false;
    std::wstring candidate_name;
    if (candidate.IsElement(element) && element && candidate.Name(candidate_name) && candidate_name == name) {
      child = candidate;
      return true;
    }
  }
  return false;
}

bool XmlNode::Attributes(std::vector<std::pair<std::wstring, std::wstring>>& attributes) const {
  attributes.clear();
  if (!node_) return false;
  com_ptr<IXMLDOMNamedNodeMap> map;
  if (FAILED(node_->get_attributes(map.put()))) return false;
  if (!map) return true;
  long length = 0;
  if (FAILED(map->get_length(&length)) || length < 0) return false;
  for (long i = 0; i < length; ++i) {
    com_ptr<IXMLDOMNode> attribute;
    if (FAILED(map->get_item(i, attribute.put())) || !attribute) return false;
    XmlNode node(attribute);
    std::wstring name, value;
    if (!node.Name(name) || !node.Text(value)) return false;
    attributes.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

bool XmlNode::SetAttribute(std::wstring_view name, const std::wstring& value) const {
  if (!node_) return false;
  com_ptr<IXMLDOMElement> element;
  if (FAILED(node_->QueryInterface(IID_IXMLDOMElement, element.put_void())) || !element) return false;
  unique_bstr key = MakeBstr(name);
  unique_variant text(value);
  return key && text && SUCCEEDED(element->setAttribute(key.get(), text.get()));
}

bool XmlNode::AppendChild(const XmlNode& child) const {
  if (!node_ || !child.node_) return false;
  com_ptr<IXMLDOMNode> appended;
  return SUCCEEDED(node_->appendChild(child.node_.get(), appended.put())) && appended;
}

bool XmlDocument::Create() {
  CLSID clsid;
  if (FAILED(::CLSIDFromProgID(kDomDocumentProgId, &clsid))) return false;
  return SUCCEEDED(::CoCreateInstance(clsid, nullptr, kDomClassContext, IID_IXMLDOMDocument, document_.put_void())) &&
         document_;
}

void XmlDocument::PrepareForLoad() const {
  // The walk starts right after the load, so it must not be asynchronous; a
  // list is never validated against a DTD, and entities must not pull in other
  // files or addresses that a tampered list could name.
  document_->put_async(VARIANT_FALSE);
  document_->put_validateOnParse(VARIANT_FALSE);
  document_->put_resolveExternals(VARIANT_FALSE);
}

bool XmlDocument::LoadText(const std::wstring& xml) {
  if (!document_) return false;
  PrepareForLoad();
  unique_bstr text = MakeBstr(xml);
  if (!text) return false;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  HRESULT hr = document_->loadXML(text.get(), &loaded);
  return hr == S_OK && loaded == VARIANT_TRUE;
}

bool XmlDocument::Load(const std::wstring& path) {
  if (!document_) return false;
  PrepareForLoad();
  unique_variant source(path);
  if (!source) return false;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  HRESULT hr = document_->load(source.get(), &loaded);
  return hr == S_OK && loaded == VARIANT_TRUE;
}

bool XmlDocument::Save(const std::wstring& path) const {
  if (!document_) return false;
  unique_variant target(path);
  return target && SUCCEEDED(document_->save(target.get()));
}

XmlNode XmlDocument::AsNode() const {
  com_ptr<IXMLDOMNode> node;
  if (document_) document_->QueryInterface(IID_IXMLDOMNode, node.put_void());
  return XmlNode(std::move(node));
}

ComThreadScope::ComThreadScope() {
  HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  owns_ = SUCCEEDED(hr);  // S_FALSE too: every successful call needs its own uninitialise
}

ComThreadScope::~ComThreadScope() {
  if (owns_) ::CoUninitialize();
}

}  // namespace tarvolin
