// The few operations of the platform XML DOM that reading an update list needs.
// Every call reports failure as false; the caller decides what a failure means.
//
// Thread affinity: objects belong to the thread that created them, which must
// have initialised COM.
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/com_ptr.h"

namespace tarvolin {

class XmlNode {
 public:
  XmlNode() = default;
  explicit XmlNode(com_ptr<IXMLDOMNode> node) : node_(std::move(node)) {}

  bool Name(std::wstring& name) const;
  bool IsElement(bool& element) const;
  // The text of the node and all its descendants.
  bool Text(std::wstring& text) const;
  bool Children(std::vector<XmlNode>& children) const;
  // An absent attribute, a null value or a node without attributes reads as "".
  bool Attribute(std::wstring_view name, std::wstring& value) const;
  bool RemoveChild(const XmlNode& child) const;

  // Whether a node object is held at all.
  bool valid() const { return static_cast<bool>(node_); }
  bool HasChildren(bool& has_children) const;
  // The first child element named exactly `name`; false when there is none.
  bool ChildElement(std::wstring_view name, XmlNode& child) const;
  // Every attribute as name and value, in document order (none for nodes
  // that cannot carry attributes).
  bool Attributes(std::vector<std::pair<std::wstring, std::wstring>>& attributes) const;
  // Only elements carry attributes; false for any other node.
  bool SetAttribute(std::wstring_view name, const std::wstring& value) const;
  // Moves `child` (which may belong to another document) to the end of this
  // node's children.
  bool AppendChild(const XmlNode& child) const;

 private:
  com_ptr<IXMLDOMNode> node_;
};

class XmlDocument {
 public:
  // The version-independent DOM document object; false when it cannot be created.
  bool Create();
  // Synchronous load of a file; false when the file is missing or not well-formed.
  bool Load(const std::wstring& path);
  // The same for a document held in memory.
  bool LoadText(const std::wstring& xml);
  bool Save(const std::wstring& path) const;
  // The document as a node, for its top-level children.
  XmlNode AsNode() const;

 private:
  void PrepareForLoad() const;
  com_ptr<IXMLDOMDocument> document_;
};

// Initialises COM on the calling thread for the lifetime of the object when
// nobody has done so yet; leaves an existing apartment alone.
class ComThreadScope {
 public:
  ComThreadScope();
  ~ComThreadScope();
  ComThreadScope(const ComThreadScope&) = delete;
  ComThreadScope& operator=(const ComThreadScope&) = delete;

 private:
  bool owns_ = false;
};

}  // namespace tarvolin
