// The <!DOCTYPE declaration and its internal subset: entity declarations,
// attribute-list declarations, comments and processing instructions.
#include <cstdlib>
#include <cstring>

#include "qxxml/qxdom/qxdom_private.h"

namespace {

// Decoding types of declared attributes, kept as the third item of a triple.
char cdata_type[] = " ";
char token_type[] = "*";

bool starts_with(const char *s, const char *prefix) { return strncmp(s, prefix, strlen(prefix)) == 0; }

// The position after the quoted string that starts at s; null when its
// closing quote is missing.
char *skip_quoted(char *s) {
  char *close = strchr(s + 1, *s);
  return close ? close + 1 : nullptr;
}

// Skips to after the '>' that ends the declaration begun at decl.
char *skip_declaration(qxdom_parser *p, char *s, const char *decl) {
  while (s && *s) {
    if (*s == '"' || *s == '\'') {
      s = skip_quoted(s);
    } else if (*s == '>') {
      return s + 1;
    } else {
      s++;
    }
  }
  return qxdom_fail(p, QXDOM_UNCLOSED_DOCTYPE, decl);
}

enum class cycle { none, found, no_memory };

// Whether value, through the references it holds (marker '&' or '%'),
// reaches an entity called name. Each entity's text is scanned once, so the
// check stays linear however the declared entities share each other.
cycle reaches(const qxdom_list *entities, char marker, const char *name, const char *value) {
  size_t count = entities->used / 2;
  auto *pending = static_cast<const char **>(qxdom_malloc((count + 1) * sizeof(const char *)));
  auto *seen = static_cast<bool *>(qxdom_malloc(count + 1));
  if (!pending || !seen) {
    free(pending);
    free(seen);
    return cycle::no_memory;
  }
  memset(seen, 0, count + 1);
  size_t top = 0;
  pending[top++] = value;
  cycle result = cycle::none;
  while (top && result == cycle::none) {
    for (const char *s = pending[--top]; *s; s++) {
      if (*s != marker) continue;
      size_t n = qxdom_reference_length(s + 1);
      if (!n) continue;
      if (strncmp(s + 1, name, n) == 0 && name[n] == '\0') {
        result = cycle::found;
        break;
      }
      long index = qxdom_entity_index(entities, s + 1, n);
      if (index >= 0 && !seen[index]) {
        seen[index] = true;
        pending[top++] = entities->items[2 * index + 1];
      }
      s += n;
    }
  }
  free(pending);
  free(seen);
  return result;
}

bool record_entity(qxdom_parser *p, bool parameter, char *name, char *value) {
  qxdom_list *list = parameter ? &p->parameters : &p->doc->entities;
  // The first declaration of a name binds; later ones are ignored.
  if (qxdom_entity_index(list, name, strlen(name)) >= 0) return true;
  qxdom_text decoded;
  if (!qxdom_decode(p, value, QXDOM_DECODE_ENTITY, &decoded)) return false;
  cycle found = reaches(list, parameter ? '%' : '&', name, decoded.str);
  char *pair[2] = {name, decoded.str};
  if (found == cycle::none && qxdom_list_append(list, pair, 2, decoded.allocated ? QXDOM_MARK_VALUE_ALLOCATED : ' ')) {
    qxdom_doc_publish(p->doc);
    return true;
  }
  if (decoded.allocated) free(decoded.str);
  if (found == cycle::found)
    qxdom_fail(p, QXDOM_CIRCULAR_ENTITY, name, name);
  else
    qxdom_fail(p, QXDOM_OUT_OF_MEMORY, name);
  return false;
}

// s is after "<!ENTITY". Only internal entities (a quoted value right after
// the name) are recorded; external ones are skipped.
char *entity_declaration(qxdom_parser *p, char *s) {
  char *decl = s - strlen("<!ENTITY");
  s = qxdom_skip_space(s);
  bool parameter = false;
  if (*s == '%' && qxdom_is_space(s[1])) {
    parameter = true;
    s = qxdom_skip_space(s + 1);
  }
  char *name = s;
  while (*s && !qxdom_is_space(*s) && *s != '"' && *s != '\'' && *s != '>') s++;
  char *name_end = s;
  s = qxdom_skip_space(s);
  char quote = *s;
  if (name_end == name || (quote != '"' && quote != '\'')) return skip_declaration(p, s, decl);
  char *value = s + 1;
  char *close = strchr(value, quote);
  if (!close) return qxdom_fail(p, QXDOM_MISSING_QUOTE, s, quote);
  *close = '\0';
  *name_end = '\0';
  if (!record_entity(p, parameter, name, value)) return nullptr;
  return skip_declaration(p, close + 1, decl);
}

bool record_default(qxdom_parser *p, char *element, char *attribute, const qxdom_text &value, char *type) {
  qxdom_set *set = &p->doc->defaults;
  qxdom_list *list = qxdom_set_list(set, element, true);
  char *triple[3] = {attribute, value.str, type};
  if (list && qxdom_list_append(list, triple, 3, value.allocated ? QXDOM_MARK_VALUE_ALLOCATED : ' ')) {
    qxdom_set_sync(set, list);
    qxdom_doc_publish(p->doc);
    return true;
  }
  if (value.allocated) free(value.str);
  qxdom_fail(p, QXDOM_OUT_OF_MEMORY, attribute);
  return false;
}

// s is after "<!ATTLIST": the element name, then for each attribute its name,
// type and default.
char *attlist_declaration(qxdom_parser *p, char *s) {
  char *decl = s - strlen("<!ATTLIST");
  s = qxdom_skip_space(s);
  if (!*s || *s == '>') return qxdom_fail(p, QXDOM_UNCLOSED_ATTLIST, decl);
  char *element = s;
  while (*s && !qxdom_is_space(*s) && *s != '>') s++;
  if (*s == '>') return s + 1;  // declares no attribute
  if (!*s) return qxdom_fail(p, QXDOM_MALFORMED_ATTLIST, decl);
  *s++ = '\0';
  for (;;) {
    s = qxdom_skip_space(s);
    if (*s == '>') return s + 1;
    char *attribute = s;
    while (*s && !qxdom_is_space(*s) && *s != '>') s++;
    if (!qxdom_is_space(*s)) return qxdom_fail(p, QXDOM_MALFORMED_ATTLIST, decl);
    *s++ = '\0';
    s = qxdom_skip_space(s);

    bool cdata = false;
    if (*s != '(') {
      const char *keyword = s;
      while (*s && !qxdom_is_space(*s) && *s != '>' && *s != '(') s++;
      size_t n = static_cast<size_t>(s - keyword);
      if (!n) return qxdom_fail(p, QXDOM_MALFORMED_ATTLIST, decl);
      cdata = n == 5 && strncmp(keyword, "CDATA", 5) == 0;
      if (n == 8 && strncmp(keyword, "NOTATION", 8) == 0) s = qxdom_skip_space(s);
    }
    if (*s == '(') {  // enumeration, or the names of a NOTATION type
      s = strchr(s, ')');
      if (!s) return qxdom_fail(p, QXDOM_MALFORMED_ATTLIST, decl);
      s++;
    }
    char *type = cdata ? cdata_type : token_type;
    s = qxdom_skip_space(s);

    qxdom_text value{nullptr, 0, 0, false};
    if (*s == '#') {
      const char *keyword = s;
      while (*s && !qxdom_is_space(*s) && *s != '>') s++;
      if (!(s - keyword == 6 && strncmp(keyword, "#FIXED", 6) == 0)) {
        // #REQUIRED, #IMPLIED: no default, but a non-CDATA attribute is
        // recorded so that its values are normalised.
        if (!cdata && !record_default(p, element, attribute, value, type)) return nullptr;
        continue;
      }
      s = qxdom_skip_space(s);
    }
    char quote = *s;
    if (quote != '"' && quote != '\'') return qxdom_fail(p, QXDOM_MALFORMED_ATTLIST, decl);
    char *start = s + 1;
    char *close = strchr(start, quote);
    if (!close) return qxdom_fail(p, QXDOM_MALFORMED_ATTLIST, decl);
    *close = '\0';
    s = close + 1;
    if (!qxdom_decode(p, start, cdata ? QXDOM_DECODE_CDATA_ATTR : QXDOM_DECODE_TOKEN_ATTR, &value)) return nullptr;
    if (!record_default(p, element, attribute, value, type)) return nullptr;
  }
}

}  // namespace

char *qxdom_parse_subset(qxdom_parser *p, char *s) {
  // A parameter entity reference between declarations could stand for
  // declarations this parser cannot see, so unless the document is
  // standalone the declarations after it are skipped, not applied.
  bool applying = true;
  for (;;) {
    s = qxdom_skip_space(s);
    char *at = s;
    if (!*s) return qxdom_fail(p, QXDOM_UNCLOSED_DOCTYPE, at);
    if (*s == ']') return s + 1;
    if (applying && starts_with(s, "<!ENTITY") && qxdom_is_space(s[8])) {
      s = entity_declaration(p, s + 8);
    } else if (applying && starts_with(s, "<!ATTLIST")) {
      s = attlist_declaration(p, s + 9);
    } else if (starts_with(s, "<!--")) {
      s = qxdom_skip_comment(p, s + 1);
    } else if (starts_with(s, "<?")) {
      s = qxdom_parse_instruction(p, s + 1, applying);
    } else if (*s == '<') {
      s = skip_declaration(p, s + 1, at);
    } else {
      if (*s == '%' && !p->doc->pub.standalone) applying = false;
      s++;
    }
    if (!s) return nullptr;
  }
}

char *qxdom_parse_doctype(qxdom_parser *p, char *s) {
  char *lt = s - 1;
  for (s += strlen("!DOCTYPE");;) {
    char c = *s;
    if (c == '>') return s + 1;
    if (!c) return qxdom_closes_at(p, s) ? s : qxdom_fail(p, QXDOM_UNCLOSED_DOCTYPE, lt);
    if (c == '"' || c == '\'') {
      s = skip_quoted(s);
      if (!s) return qxdom_fail(p, QXDOM_UNCLOSED_DOCTYPE, lt);
    } else if (c == '[') {
      s = qxdom_parse_subset(p, s + 1);
      if (!s) return nullptr;
    } else {
      s++;
    }
  }
}
