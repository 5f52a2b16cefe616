// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/XmlDom.h"
#include "platform/Utf8.h"

#include <pugixml.hpp>

#include <new>

namespace purgo::platform {
namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none
// or the character is NUL, which XML cannot hold either.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
  return s[i] == '\0' ? 0 : Utf8SequenceLength(s, i);
}

class StringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
  }
  std::string bytes;
};

pugi::xml_node Node(pugi::xml_node_struct* n) { return pugi::xml_node(n); }

}  // namespace

std::string XmlStorableText(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = Utf8SequenceAt(s, i);
    if (len == 0) {
      out.append("\xEF\xBF\xBD");
      ++i;
    } else {
      out.append(s.substr(i, len));
      i += len;
    }
  }
  return out;
}

bool XmlNode::IsElement() const { return Node(node_).type() == pugi::node_element; }

std::string XmlNode::Name() const { return IsElement() ? std::string(Node(node_).name()) : std::string(); }

bool XmlNode::HasChildNodes() const { return Node(node_).first_child() != nullptr; }

XmlNode XmlNode::FirstChild() const { return XmlNode(Node(node_).first_child().internal_object()); }

XmlNode XmlNode::NextSibling() const { return XmlNode(Node(node_).next_sibling().internal_object()); }

XmlNode XmlNode::ChildElement(std::string_view name) const {
  for (pugi::xml_node c = Node(node_).first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && name == c.name()) return XmlNode(c.internal_object());
  }
  return XmlNode();
}

std::optional<std::string> XmlNode::Attribute(std::string_view name) const {
  for (pugi::xml_attribute a = Node(node_).first_attribute(); a; a = a.next_attribute()) {
    if (name == a.name()) return std::string(a.value());
  }
  return std::nullopt;
}

std::optional<std::string> XmlNode::Text() const {
  if (!IsElement()) return std::nullopt;
  std::string text;
  for (pugi::xml_node c = Node(node_).first_child(); c; c = c.next_sibling()) {
    switch (c.type()) {
      case pugi::node_pcdata:
      case pugi::node_cdata:
        text.append(c.value());
        break;
      case pugi::node_element:
        return std::nullopt;
      default:
        break;
    }
  }
  return text;
}

XmlNode XmlNode::AppendElement(std::string_view name) {
  if (!IsElement()) return XmlNode();
  return XmlNode(Node(node_).append_child(std::string(name).c_str()).internal_object());
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) {
  if (!IsElement()) return;
  const std::string key(name);
  pugi::xml_node n = Node(node_);
  pugi::xml_attribute a = n.attribute(key.c_str());
  if (!a) a = n.append_attribute(key.c_str());
  a.set_value(XmlStorableText(value).c_str());
}

void XmlNode::SetText(std::string_view text) {
  if (!IsElement()) return;
  pugi::xml_node n = Node(node_);
  while (pugi::xml_node c = n.first_child()) n.remove_child(c);
  if (text.empty()) return;
  // Whitespace-only text is dropped on reading as the blanks between
  // elements are; a CDATA section keeps it.
  const bool blankOnly = text.find_first_not_of(" \t\r\n") == std::string_view::npos;
  n.append_child(blankOnly ? pugi::node_cdata : pugi::node_pcdata).set_value(XmlStorableText(text).c_str());
}

XmlDocument::XmlDocument() : doc_(std::make_unique<pugi::xml_document>()) {}
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

bool XmlDocument::LoadFromBytes(std::string_view bytes) {
  if (!doc_) doc_ = std::make_unique<pugi::xml_document>();
  try {
    // Line ends inside texts stay as they are: the writer does not escape a
    // carriage return in a text, and normalising it would change the text.
    constexpr unsigned kFlags = pugi::parse_default & ~pugi::parse_eol;
    const pugi::xml_parse_result result =
        doc_->load_buffer(bytes.data(), bytes.size(), kFlags, pugi::encoding_auto);
    if (result) return true;
  } catch (const std::bad_alloc&) {
  }
  doc_->reset();
  return false;
}

bool XmlDocument::LoadFromFile(const std::string& path, ReadStatus* status) {
  std::string bytes;
  const ReadStatus read = ReadWholeFile(path, kMaxSettingsFileSize, bytes);
  if (status != nullptr) *status = read;
  if (read != ReadStatus::Ok) {
    if (doc_) doc_->reset();
    return false;
  }
  return LoadFromBytes(bytes);
}

XmlNode XmlDocument::DocumentElement() const {
  if (!doc_) return XmlNode();
  return XmlNode(doc_->document_element().internal_object());
}

XmlNode XmlDocument::CreateDocumentElement(std::string_view name) {
  if (!doc_) doc_ = std::make_unique<pugi::xml_document>();
  doc_->reset();
  pugi::xml_node decl = doc_->append_child(pugi::node_declaration);
  decl.append_attribute("version").set_value("1.0");
  decl.append_attribute("encoding").set_value("UTF-16");
  decl.append_attribute("standalone").set_value("yes");
  return XmlNode(doc_->append_child(std::string(name).c_str()).internal_object());
}

std::string XmlDocument::SaveToBytes() const {
  StringWriter writer;
  if (doc_) {
    doc_->save(writer, "", pugi::format_raw | pugi::format_write_bom, pugi::encoding_utf16_le);
  }
  return std::move(writer.bytes);
}

bool XmlDocument::SaveToFile(const std::string& path, std::string* error) const {
  std::string bytes;
  try {
    bytes = SaveToBytes();
  } catch (const std::bad_alloc&) {
    if (error != nullptr) *error = UnableToWriteMessage(path);
    return false;
  }
  return WriteFileAtomically(path, bytes, error);
}

}  // namespace purgo::platform
