// SPDX-License-Identifier: GPL-3.0-or-later
// The options file's DOM on Windows: MSXML (6.0, else 3.0) through COM.
//
// The bytes are decoded here (a byte-order mark, else UTF-16 told by its
// first characters, else UTF-8) and handed to the parser as text, so a
// file reads the same as on Linux whatever its declaration claims. A
// document with a document type declaration is refused: no entity of one
// is expanded, nothing is fetched. Blanks
// between elements are dropped by the parser; comments and processing
// instructions are passed over here. Writing is done here too, so that the
// bytes are those the Linux build writes: UTF-16 little-endian with a
// byte-order mark, the declaration, no blanks between elements. Carriage
// returns are written as character references and texts of blanks alone
// as CDATA, so that both read back as they were.
#include "platform/XmlDom.h"

#include <msxml2.h>
#include <objbase.h>
#include <oleauto.h>

#include <new>
#include <vector>

#include "platform/Utf8.h"
#include "platform/win32/WinFiles.h"

namespace purgo::platform {
namespace win32 {

// IXMLDOMDocument2's interface id, which the toolchain's uuid library lacks.
constexpr IID kIidDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

struct XmlDocumentData {
  IXMLDOMDocument2* doc = nullptr;
  std::vector<IUnknown*> held;  // every node handed out, released with the document
  bool comStarted = false;

  XmlDocumentData() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    comStarted = SUCCEEDED(hr);  // a thread already in another apartment keeps it
    doc = NewDocument();
  }
  ~XmlDocumentData() {
    Drop();
    if (comStarted) ::CoUninitialize();
  }
  XmlDocumentData(const XmlDocumentData&) = delete;
  XmlDocumentData& operator=(const XmlDocumentData&) = delete;

  void Drop() {
    for (IUnknown* n : held) n->Release();
    held.clear();
    if (doc != nullptr) doc->Release();
    doc = nullptr;
  }
  void Reset() {
    Drop();
    doc = NewDocument();
  }
  IXMLDOMNode* Keep(IXMLDOMNode* n) {
    if (n != nullptr) held.push_back(n);
    return n;
  }

  static IXMLDOMDocument2* NewDocument() {
    for (const wchar_t* progId : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
      CLSID clsid;
      if (FAILED(::CLSIDFromProgID(progId, &clsid))) continue;
      void* p = nullptr;
      if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidDocument2, &p))) continue;
      auto* d = static_cast<IXMLDOMDocument2*>(p);
      d->put_async(VARIANT_FALSE);
      d->put_validateOnParse(VARIANT_FALSE);
      d->put_resolveExternals(VARIANT_FALSE);
      d->put_preserveWhiteSpace(VARIANT_TRUE);  // blanks between elements are dropped before parsing
      VARIANT yes;
      ::VariantInit(&yes);
      yes.vt = VT_BOOL;
      yes.boolVal = VARIANT_TRUE;
      BSTR prohibit = ::SysAllocString(L"ProhibitDTD");
      d->setProperty(prohibit, yes);  // 3.0 knows no such property and reads no DTD from a string either
      ::SysFreeString(prohibit);
      return d;
    }
    return nullptr;
  }
};

}  // namespace win32

namespace {

using win32::XmlDocumentData;

class Bstr {
 public:
  explicit Bstr(std::wstring_view s) : b_(::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  explicit Bstr(std::string_view utf8) : Bstr(std::wstring_view(win32::Wide(utf8))) {}
  Bstr() = default;
  ~Bstr() { ::SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return b_; }
  BSTR* Out() { return &b_; }
  std::string Utf8() const { return b_ == nullptr ? std::string() : win32::Narrow(std::wstring_view(b_, ::SysStringLen(b_))); }

 private:
  BSTR b_ = nullptr;
};

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none
// or the character is one XML 1.0 cannot hold: NUL and the other C0
// controls but tab, line feed and carriage return (MSXML refuses them even
// as references), U+FFFE and U+FFFF.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return 0;
  if (s.substr(i, 3) == "\xEF\xBF\xBE" || s.substr(i, 3) == "\xEF\xBF\xBF") return 0;
  return Utf8SequenceLength(s, i);
}

DOMNodeType TypeOf(IXMLDOMNode* n) {
  DOMNodeType t = NODE_INVALID;
  if (n != nullptr) n->get_nodeType(&t);
  return t;
}

bool Visible(IXMLDOMNode* n) {
  const DOMNodeType t = TypeOf(n);
  return t == NODE_ELEMENT || t == NODE_TEXT || t == NODE_CDATA_SECTION;
}

std::string ValueOf(IXMLDOMNode* n) {
  VARIANT v;
  ::VariantInit(&v);
  std::string out;
  if (SUCCEEDED(n->get_nodeValue(&v)) && v.vt == VT_BSTR && v.bstrVal != nullptr) {
    out = win32::Narrow(std::wstring_view(v.bstrVal, ::SysStringLen(v.bstrVal)));
  }
  ::VariantClear(&v);
  return out;
}

// The first node from `n` on (n itself included) that the DOM shows.
IXMLDOMNode* SkipHidden(IXMLDOMNode* n) {
  while (n != nullptr && !Visible(n)) {
    IXMLDOMNode* next = nullptr;
    n->get_nextSibling(&next);
    n->Release();
    n = next;
  }
  return n;
}

IXMLDOMElement* ElementOf(IXMLDOMNode* n) {
  void* p = nullptr;
  if (n == nullptr || FAILED(n->QueryInterface(IID_IXMLDOMElement, &p))) return nullptr;
  return static_cast<IXMLDOMElement*>(p);
}

// ---- writing ----------------------------------------------------------------

void AppendEscaped(std::wstring& out, std::wstring_view s, bool attribute) {
  for (wchar_t c : s) {
    switch (c) {
      case L'&': out += L"&amp;"; break;
      case L'<': out += L"&lt;"; break;
      case L'>': out += L"&gt;"; break;
      case L'"': out += attribute ? L"&quot;" : L"\""; break;
      case L'\r': out += L"&#13;"; break;
      // An attribute's line ends and tabs would be read as spaces.
      case L'\n': out += attribute ? L"&#10;" : L"\n"; break;
      case L'\t': out += attribute ? L"&#9;" : L"\t"; break;
      default: out.push_back(c);
    }
  }
}

// A text of blanks alone goes in CDATA sections, which a reader keeps
// where it drops the blanks between elements; a carriage return, which a
// parser would turn into a line feed even there, as a reference between
// them.
void AppendText(std::wstring& out, std::wstring_view s) {
  if (s.find_first_not_of(L" \t\r\n") != std::wstring_view::npos) {
    AppendEscaped(out, s, false);
    return;
  }
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == L'\r') {
      out += L"&#13;";
      ++i;
      continue;
    }
    const std::size_t end = std::min(s.find(L'\r', i), s.size());
    out += L"<![CDATA[";
    out.append(s.substr(i, end - i));
    out += L"]]>";
    i = end;
  }
}

void Write(IXMLDOMNode* n, std::wstring& out) {
  const DOMNodeType t = TypeOf(n);
  if (t == NODE_TEXT || t == NODE_CDATA_SECTION) {
    AppendText(out, win32::Wide(ValueOf(n)));
    return;
  }
  if (t != NODE_ELEMENT) return;
  Bstr name;
  n->get_nodeName(name.Out());
  const std::wstring_view tag(name.Get(), ::SysStringLen(name.Get()));
  out.push_back(L'<');
  out.append(tag);
  IXMLDOMNamedNodeMap* attrs = nullptr;
  if (SUCCEEDED(n->get_attributes(&attrs)) && attrs != nullptr) {
    long count = 0;
    attrs->get_length(&count);
    for (long i = 0; i < count; ++i) {
      IXMLDOMNode* a = nullptr;
      if (FAILED(attrs->get_item(i, &a)) || a == nullptr) continue;
      Bstr an;
      a->get_nodeName(an.Out());
      out.push_back(L' ');
      out.append(an.Get(), ::SysStringLen(an.Get()));
      out += L"=\"";
      AppendEscaped(out, win32::Wide(ValueOf(a)), true);
      out.push_back(L'"');
      a->Release();
    }
    attrs->Release();
  }
  IXMLDOMNode* c = nullptr;
  n->get_firstChild(&c);
  c = SkipHidden(c);
  if (c == nullptr) {
    out += L"/>";
    return;
  }
  out.push_back(L'>');
  while (c != nullptr) {
    Write(c, out);
    IXMLDOMNode* next = nullptr;
    c->get_nextSibling(&next);
    c->Release();
    c = SkipHidden(next);
  }
  out += L"</";
  out.append(tag);
  out.push_back(L'>');
}

// ---- reading ----------------------------------------------------------------

std::wstring Decode(std::string_view b) {
  auto utf16 = [&](std::size_t from, bool bigEndian) {
    std::wstring w;
    w.reserve((b.size() - from) / 2);
    for (std::size_t i = from; i + 1 < b.size(); i += 2) {
      const auto hi = static_cast<unsigned char>(b[bigEndian ? i : i + 1]);
      const auto lo = static_cast<unsigned char>(b[bigEndian ? i + 1 : i]);
      w.push_back(static_cast<wchar_t>((hi << 8) | lo));
    }
    return w;
  };
  auto starts = [&](std::string_view p) { return b.substr(0, p.size()) == p; };
  if (starts("\xEF\xBB\xBF")) return win32::Wide(b.substr(3));
  if (starts("\xFF\xFE")) return utf16(2, false);
  if (starts("\xFE\xFF")) return utf16(2, true);
  if (starts(std::string_view("<\0", 2))) return utf16(0, false);
  if (starts(std::string_view("\0<", 2))) return utf16(0, true);
  return win32::Wide(b);
}

// The text without its declaration (it is text already, and a declared
// encoding would only contradict that) and without the runs of blanks
// between markup, which are layout, not text. Deciding this on the source
// keeps what a reference or a CDATA section wrote: "&#32;" is a text, a
// blank line between two elements is not. Comments, CDATA sections,
// processing instructions, declarations and tags (quoted values included)
// are copied as they are.
// A document type declaration makes the text refused: MSXML 3 would
// expand the entities it declares, and the options file never has one.
std::wstring Prepared(std::wstring_view s, bool& declaresType) {
  declaresType = false;
  if (s.substr(0, 5) == L"<?xml" && s.size() > 5 &&
      (s[5] == L' ' || s[5] == L'\t' || s[5] == L'\r' || s[5] == L'\n')) {
    const std::size_t end = s.find(L"?>");
    if (end != std::wstring_view::npos) s = s.substr(end + 2);
  }
  std::wstring out;
  out.reserve(s.size());
  std::size_t i = 0;
  auto copyThrough = [&](std::wstring_view close) {
    const std::size_t end = s.find(close, i);
    const std::size_t stop = end == std::wstring_view::npos ? s.size() : end + close.size();
    out.append(s.substr(i, stop - i));
    i = stop;
  };
  while (i < s.size()) {
    if (s[i] != L'<') {
      const std::size_t end = std::min(s.find(L'<', i), s.size());
      const std::wstring_view text = s.substr(i, end - i);
      if (text.find_first_not_of(L" \t\r\n") != std::wstring_view::npos) out.append(text);
      i = end;
    } else if (s.substr(i, 4) == L"<!--") {
      copyThrough(L"-->");
    } else if (s.substr(i, 9) == L"<![CDATA[") {
      copyThrough(L"]]>");
    } else if (s.substr(i, 2) == L"<?") {
      copyThrough(L"?>");
    } else if (s.substr(i, 9) == L"<!DOCTYPE") {
      declaresType = true;
      return {};
    } else {
      // A tag or a declaration: to its '>', past quoted values.
      wchar_t quote = 0;
      std::size_t j = i + 1;
      for (; j < s.size(); ++j) {
        if (quote != 0) {
          if (s[j] == quote) quote = 0;
        } else if (s[j] == L'"' || s[j] == L'\'') {
          quote = s[j];
        } else if (s[j] == L'>') {
          break;
        }
      }
      const std::size_t stop = std::min(j + 1, s.size());
      out.append(s.substr(i, stop - i));
      i = stop;
    }
  }
  return out;
}

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

bool XmlNode::IsElement() const { return TypeOf(node_) == NODE_ELEMENT; }

std::string XmlNode::Name() const {
  if (!IsElement()) return {};
  Bstr name;
  node_->get_nodeName(name.Out());
  return name.Utf8();
}

bool XmlNode::HasChildNodes() const { return static_cast<bool>(FirstChild()); }

XmlNode XmlNode::FirstChild() const {
  if (node_ == nullptr) return {};
  IXMLDOMNode* c = nullptr;
  node_->get_firstChild(&c);
  return XmlNode(doc_->Keep(SkipHidden(c)), doc_);
}

XmlNode XmlNode::NextSibling() const {
  if (node_ == nullptr) return {};
  IXMLDOMNode* c = nullptr;
  node_->get_nextSibling(&c);
  return XmlNode(doc_->Keep(SkipHidden(c)), doc_);
}

XmlNode XmlNode::ChildElement(std::string_view name) const {
  for (XmlNode c = FirstChild(); c; c = c.NextSibling()) {
    if (c.IsElement() && c.Name() == name) return c;
  }
  return {};
}

std::optional<std::string> XmlNode::Attribute(std::string_view name) const {
  IXMLDOMElement* e = ElementOf(node_);
  if (e == nullptr) return std::nullopt;
  VARIANT v;
  ::VariantInit(&v);
  std::optional<std::string> out;
  Bstr key(name);
  if (e->getAttribute(key.Get(), &v) == S_OK && v.vt == VT_BSTR) {
    out = v.bstrVal == nullptr ? std::string() : win32::Narrow(std::wstring_view(v.bstrVal, ::SysStringLen(v.bstrVal)));
  }
  ::VariantClear(&v);
  e->Release();
  return out;
}

std::optional<std::string> XmlNode::Text() const {
  if (!IsElement()) return std::nullopt;
  std::string text;
  for (XmlNode c = FirstChild(); c; c = c.NextSibling()) {
    if (c.IsElement()) return std::nullopt;
    text += ValueOf(c.node_);
  }
  return text;
}

XmlNode XmlNode::AppendElement(std::string_view name) {
  if (!IsElement() || doc_->doc == nullptr) return {};
  IXMLDOMElement* e = nullptr;
  Bstr tag(name);
  if (FAILED(doc_->doc->createElement(tag.Get(), &e)) || e == nullptr) return {};
  IXMLDOMNode* added = nullptr;
  node_->appendChild(e, &added);
  e->Release();
  return XmlNode(doc_->Keep(added), doc_);
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) {
  IXMLDOMElement* e = ElementOf(node_);
  if (e == nullptr) return;
  Bstr key(name);
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  const std::wstring w = win32::Wide(XmlStorableText(value));
  v.bstrVal = ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  e->setAttribute(key.Get(), v);
  ::VariantClear(&v);
  e->Release();
}

void XmlNode::SetText(std::string_view text) {
  if (!IsElement() || doc_->doc == nullptr) return;
  for (;;) {
    IXMLDOMNode* c = nullptr;
    if (FAILED(node_->get_firstChild(&c)) || c == nullptr) break;
    IXMLDOMNode* removed = nullptr;
    node_->removeChild(c, &removed);
    c->Release();
    if (removed == nullptr) break;
    removed->Release();
  }
  if (text.empty()) return;
  IXMLDOMText* t = nullptr;
  Bstr value(XmlStorableText(text));
  if (FAILED(doc_->doc->createTextNode(value.Get(), &t)) || t == nullptr) return;
  IXMLDOMNode* added = nullptr;
  node_->appendChild(t, &added);
  t->Release();
  if (added != nullptr) added->Release();
}

XmlDocument::XmlDocument() : doc_(std::make_unique<XmlDocumentData>()) {}
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

bool XmlDocument::LoadFromBytes(std::string_view bytes) {
  if (!doc_) doc_ = std::make_unique<XmlDocumentData>();
  doc_->Reset();
  if (doc_->doc == nullptr) return false;
  try {
    bool declaresType = false;
    const std::wstring text = Prepared(Decode(bytes), declaresType);
    Bstr source{std::wstring_view(text)};
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (!declaresType && doc_->doc->loadXML(source.Get(), &ok) == S_OK && ok == VARIANT_TRUE) {
      IXMLDOMElement* root = nullptr;
      if (SUCCEEDED(doc_->doc->get_documentElement(&root)) && root != nullptr) {
        root->Release();
        return true;
      }
    }
  } catch (const std::bad_alloc&) {
  }
  doc_->Reset();
  return false;
}

bool XmlDocument::LoadFromFile(const std::string& path, ReadStatus* status) {
  std::string bytes;
  const ReadStatus read = ReadWholeFile(path, kMaxSettingsFileSize, bytes);
  if (status != nullptr) *status = read;
  if (read != ReadStatus::Ok) {
    if (doc_) doc_->Reset();
    return false;
  }
  return LoadFromBytes(bytes);
}

XmlNode XmlDocument::DocumentElement() const {
  if (!doc_ || doc_->doc == nullptr) return {};
  IXMLDOMElement* root = nullptr;
  if (FAILED(doc_->doc->get_documentElement(&root)) || root == nullptr) return {};
  return XmlNode(doc_->Keep(root), doc_.get());
}

XmlNode XmlDocument::CreateDocumentElement(std::string_view name) {
  if (!doc_) doc_ = std::make_unique<XmlDocumentData>();
  doc_->Reset();
  if (doc_->doc == nullptr) return {};
  IXMLDOMElement* e = nullptr;
  Bstr tag(name);
  if (FAILED(doc_->doc->createElement(tag.Get(), &e)) || e == nullptr) return {};
  IXMLDOMNode* added = nullptr;
  doc_->doc->appendChild(e, &added);
  e->Release();
  return XmlNode(doc_->Keep(added), doc_.get());
}

std::string XmlDocument::SaveToBytes() const {
  std::wstring text;
  XmlNode root = DocumentElement();
  if (root) {
    text = L"<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"yes\"?>";
    Write(root.node_, text);
  }
  std::string bytes;
  if (text.empty()) return bytes;
  bytes.reserve(2 + text.size() * 2);
  bytes += "\xFF\xFE";
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
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
