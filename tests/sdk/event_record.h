// The events a test recorder saw, by name and in order.
#pragma once

#include <string>
#include <vector>

namespace zelvoapi {

// `TEvent` has a `Name`; recorders derive from this and append to `events`.
template <class TEvent>
class TEventRecord {
 public:
  std::vector<TEvent> events;

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const TEvent &event : events) names.push_back(event.Name);
    return names;
  }
  int Count(const std::string &name) const {
    int count = 0;
    for (const TEvent &event : events) count += event.Name == name;
    return count;
  }
};

}  // namespace zelvoapi
