// SPDX-License-Identifier: GPL-3.0-or-later
// The small XML document object model that the options file needs, on
// pugixml (MSXML, through COM, on Windows): parse, element lookup,
// attributes, texts, building and saving.
//
// Texts are UTF-8. Documents are written in UTF-16 little-endian with a
// byte-order mark, under the declaration <?xml version="1.0"
// encoding="UTF-16" standalone="yes"?>, with no indentation or line breaks
// between elements. Reading accepts that and any other encoding an XML
// parser detects (UTF-8 with or without a byte-order mark, UTF-16 with one);
// whitespace-only text between elements is dropped, comments and
// processing instructions are skipped.
//
// A text or attribute value set here reads back exactly, with one
// exception: a byte sequence that is not valid UTF-8 cannot be stored in
// UTF-16 and is written as U+FFFD. (Silently dropping such bytes instead
// would turn one folder path into another, existing one.)
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileIO.h"

#ifdef _WIN32
struct IXMLDOMNode;
namespace purgo::platform::win32 {
struct XmlDocumentData;
}  // namespace purgo::platform::win32
#else
namespace pugi {
struct xml_node_struct;
class xml_document;
}  // namespace pugi
#endif

namespace purgo::platform {

// The text as SetText and SetAttribute store it: every byte that is not
// part of a well-formed UTF-8 character, and NUL, becomes U+FFFD (on
// Windows, whose parser holds to XML 1.0, so do the other control
// characters but tab, line feed and carriage return, and U+FFFE, U+FFFF). Equal to
// `text` exactly when it reads back unchanged.
std::string XmlStorableText(std::string_view text);

// A node of an XmlDocument, or no node. A handle: cheap to copy, valid as
// long as its document lives and the node is not removed; every operation
// on no node does nothing and answers "nothing".
class XmlNode {
 public:
  XmlNode() = default;

  explicit operator bool() const { return node_ != nullptr; }
  bool IsElement() const;
  // An element's name; empty for a text node and for no node.
  std::string Name() const;

  // Any child at all (elements and texts).
  bool HasChildNodes() const;
  // The first child and the next sibling, of any kind, in document order.
  XmlNode FirstChild() const;
  XmlNode NextSibling() const;
  // The first child element whose name is exactly `name`.
  XmlNode ChildElement(std::string_view name) const;

  // The attribute's value; empty when the element has no such attribute.
  std::optional<std::string> Attribute(std::string_view name) const;
  // The text of an element that holds only text: its text and CDATA
  // children joined, the empty text when it has no children. Empty (no
  // value) when the element holds an element, and for anything that is not
  // an element: no text was there to read.
  std::optional<std::string> Text() const;

  // Appends a child element and returns it (no node when this is no
  // element).
  XmlNode AppendElement(std::string_view name);
  void SetAttribute(std::string_view name, std::string_view value);
  // Replaces the element's children by one text.
  void SetText(std::string_view text);

 private:
  friend class XmlDocument;
#ifdef _WIN32
  // The node is a COM reference its document holds until it ends.
  XmlNode(IXMLDOMNode* node, win32::XmlDocumentData* doc) : node_(node), doc_(doc) {}
  IXMLDOMNode* node_ = nullptr;
  win32::XmlDocumentData* doc_ = nullptr;
#else
  explicit XmlNode(pugi::xml_node_struct* node) : node_(node) {}
  pugi::xml_node_struct* node_ = nullptr;
#endif
};

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(XmlDocument&&) noexcept;
  XmlDocument& operator=(XmlDocument&&) noexcept;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Replaces the document by the parsed bytes. False when they are not
  // well-formed XML (the document is then empty), including when there is
  // no element at all.
  bool LoadFromBytes(std::string_view bytes);
  // The same from a file of at most kMaxSettingsFileSize bytes. `status`,
  // when given, tells whether the file could be read at all.
  bool LoadFromFile(const std::string& path, ReadStatus* status = nullptr);

  // The root element; no node when the document has none.
  XmlNode DocumentElement() const;
  // Empties the document and gives it the declaration and a root element
  // of this name, which it returns.
  XmlNode CreateDocumentElement(std::string_view name);

  // The document as written to a file.
  std::string SaveToBytes() const;
  // Replaces the file atomically (platform/FileIO.h); on failure the old
  // file stays and `error` receives "Unable to write to <path>".
  bool SaveToFile(const std::string& path, std::string* error = nullptr) const;

 private:
#ifdef _WIN32
  std::unique_ptr<win32::XmlDocumentData> doc_;
#else
  std::unique_ptr<pugi::xml_document> doc_;
#endif
};

}  // namespace purgo::platform
