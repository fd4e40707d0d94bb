// The tree parser against libxml2 on the well-formed XML files that Debian
// packages install on this machine: both must see the same element names,
// attribute values, texts and child positions.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "qxxml/qxdom/qxdom.h"
#include "tests/qxxml/qxdom_test_support.h"

namespace {

namespace fs = std::filesystem;

// Where packages keep XML; absent ones are skipped. The caps keep the run to
// a few seconds, also under the sanitizers.
const char *const corpus_roots[] = {
    "/usr/share/mime",     "/usr/share/xml",        "/usr/share/glib-2.0/schemas",
    "/usr/share/dbus-1",   "/usr/share/metainfo",   "/usr/share/doc",
    "/usr/share/polkit-1", "/usr/share/qt6",        "/usr/lib/x86_64-linux-gnu/qt6",
    "/usr/share/gtk-doc",  "/usr/share/fontconfig", "/etc/fonts",
};
constexpr size_t file_size_max = 4 * 1024 * 1024;
constexpr size_t files_per_root_max = 200;
constexpr size_t total_size_max = 16 * 1024 * 1024;

std::vector<fs::path> corpus_files() {
  std::vector<fs::path> files;
  for (const char *root : corpus_roots) {
    std::error_code ec;
    if (!fs::is_directory(root, ec)) continue;
    std::vector<fs::path> found;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      std::string ext = it->path().extension().string();
      if (ext != ".xml" && !(ext == ".conf" && it->path().string().find("dbus-1") != std::string::npos)) continue;
      if (it->file_size(ec) > file_size_max) continue;
      found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    if (found.size() > files_per_root_max) {  // an even sample across the root's folders
      std::vector<fs::path> sample;
      for (size_t i = 0; i < files_per_root_max; i++) sample.push_back(found[i * found.size() / files_per_root_max]);
      found = sample;
    }
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

std::string qualified_name(const xmlNode *node) {
  std::string name = reinterpret_cast<const char *>(node->name);
  if (node->ns && node->ns->prefix) name = reinterpret_cast<const char *>(node->ns->prefix) + (":" + name);
  return name;
}

std::string content_of(const xmlNode *node) {
  xmlChar *content = xmlNodeGetContent(node);
  std::string out = content ? reinterpret_cast<const char *>(content) : "";
  xmlFree(content);
  return out;
}

// Attributes as qxdom keeps them: namespace declarations are attributes too.
std::vector<std::pair<std::string, std::string>> attributes_of(const xmlNode *node) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const xmlNs *ns = node->nsDef; ns; ns = ns->next) {
    std::string name = ns->prefix ? std::string("xmlns:") + reinterpret_cast<const char *>(ns->prefix) : "xmlns";
    out.emplace_back(name, reinterpret_cast<const char *>(ns->href));
  }
  for (const xmlAttr *a = node->properties; a; a = a->next) {
    out.emplace_back(qualified_name(reinterpret_cast<const xmlNode *>(a)),
                     content_of(reinterpret_cast<const xmlNode *>(a)));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::pair<std::string, std::string>> attributes_of(const qxdom_node *node) {
  std::vector<std::pair<std::string, std::string>> out;
  for (char *const *pair = node->attributes; pair[0]; pair += 2) out.emplace_back(pair[0], pair[1]);
  std::sort(out.begin(), out.end());
  return out;
}

// Empty when both trees agree below these elements, else the first difference.
std::string compare(const xmlNode *expected, const qxdom_node *got, const std::string &path) {
  std::string here = path + "/" + qualified_name(expected);
  if (!got) return here + ": missing";
  if (qualified_name(expected) != got->name) return here + ": named " + got->name;
  if (attributes_of(expected) != attributes_of(got)) return here + ": attributes differ";
  std::string text;
  const qxdom_node *child = got->first_child;
  for (const xmlNode *c = expected->children; c; c = c->next) {
    if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
      text += reinterpret_cast<const char *>(c->content);
    } else if (c->type == XML_ELEMENT_NODE) {
      if (child && child->text_offset != text.size()) {
        return here + ": child <" + child->name + "> at " + std::to_string(child->text_offset) + ", expected " +
               std::to_string(text.size());
      }
      std::string fault = compare(c, child, here);
      if (!fault.empty()) return fault;
      child = child->order_next;
    }
  }
  if (child) return here + ": extra child <" + child->name + ">";
  if (text != got->text)
    return here + ": text \"" + qxdom_test::escaped(got->text) + "\", expected \"" + qxdom_test::escaped(text.c_str()) +
           "\"";
  return "";
}

// Constructs whose reading differs by design: entity references libxml2
// could not resolve (declared in an external subset that neither reads), and
// entities holding markup, which libxml2 parses as elements and qxdom keeps
// as text.
bool has_unresolved_entity(const xmlNode *node) {
  for (; node; node = node->next) {
    if (node->type == XML_ENTITY_REF_NODE) return true;
    if (node->type == XML_ELEMENT_NODE && has_unresolved_entity(node->children)) return true;
  }
  return false;
}

bool has_markup_entity(const xmlDoc *doc) {
  if (!doc->intSubset) return false;
  for (const xmlNode *decl = doc->intSubset->children; decl; decl = decl->next) {
    if (decl->type != XML_ENTITY_DECL) continue;
    const xmlChar *content = reinterpret_cast<const xmlEntity *>(decl)->content;
    if (content && strchr(reinterpret_cast<const char *>(content), '<')) return true;
  }
  return false;
}

// qxdom passes bytes through; only UTF-8 (or ASCII) texts read the same.
bool declares_other_encoding(const std::string &text) {
  if (text.compare(0, 5, "<?xml") != 0) return false;
  std::string declaration = text.substr(0, text.find("?>"));
  size_t at = declaration.find("encoding");
  if (at == std::string::npos) return false;
  std::string rest = declaration.substr(at + 8);
  for (char &c : rest) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return rest.find("utf-8") == std::string::npos && rest.find("us-ascii") == std::string::npos;
}

TEST(Differential, AgreesWithLibxml2OnInstalledXmlFiles) {
  std::vector<fs::path> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "no XML files of installed packages found";
  size_t compared = 0, skipped = 0, total = 0;
  std::vector<std::string> faults;
  for (const fs::path &path : files) {
    if (total >= total_size_max) break;
    std::string text = qxdom_test::read_text_file(path.string());
    if (text.empty() || declares_other_encoding(text)) {
      skipped++;
      continue;
    }
    xmlDoc *reference = xmlReadMemory(text.data(), static_cast<int>(text.size()), path.c_str(), nullptr,
                                      XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    const xmlNode *root = reference ? xmlDocGetRootElement(reference) : nullptr;
    if (!root || has_markup_entity(reference) || has_unresolved_entity(root)) {
      skipped++;
      xmlFreeDoc(reference);
      continue;
    }
    qxdom_test::Parsed parsed(text);
    std::string fault = parsed.error().empty() ? compare(root, parsed.root(), "") : parsed.error();
    if (fault.empty()) fault = qxdom_test::chain_faults(parsed.root());
    if (!fault.empty()) faults.push_back(path.string() + ": " + fault);
    xmlFreeDoc(reference);
    compared++;
    total += text.size();
  }
  std::string report = std::to_string(compared) + " files compared, " + std::to_string(skipped) + " skipped";
  RecordProperty("compared", static_cast<int>(compared));
  std::printf("%s\n", report.c_str());
  for (const std::string &fault : faults) ADD_FAILURE() << fault;
  EXPECT_GT(compared, 0u) << report;
}

}  // namespace
