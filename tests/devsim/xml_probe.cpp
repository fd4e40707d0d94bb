#include "tests/devsim/xml_probe.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

namespace devsim_test {

XmlProbe::XmlProbe(const std::string &text) {
  doc_ = xmlReadMemory(text.data(), static_cast<int>(text.size()), "doc.xml", nullptr,
                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
}

XmlProbe::~XmlProbe() {
  if (doc_) xmlFreeDoc(doc_);
}

std::string XmlProbe::root_name() const {
  if (!doc_) return "";
  xmlNodePtr root = xmlDocGetRootElement(doc_);
  std::string name = reinterpret_cast<const char *>(root->name);
  if (root->ns && root->ns->prefix) name = reinterpret_cast<const char *>(root->ns->prefix) + (":" + name);
  return name;
}

std::vector<std::string> XmlProbe::texts(const std::string &xpath) const {
  std::vector<std::string> out;
  if (!doc_) return out;
  xmlXPathContextPtr ctx = xmlXPathNewContext(doc_);
  xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar *>(xpath.c_str()), ctx);
  if (result && result->nodesetval) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
      xmlChar *content = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
      out.emplace_back(content ? reinterpret_cast<const char *>(content) : "");
      xmlFree(content);
    }
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(ctx);
  return out;
}

std::string XmlProbe::text(const std::string &xpath) const {
  auto all = texts(xpath);
  return all.empty() ? std::string() : all.front();
}

}  // namespace devsim_test
