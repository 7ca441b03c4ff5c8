// Items done leave the document: their texts for the JSON and HTML documents go to spill files
// of the run's own in UTILPATH, and their objects and handles are freed, so that a step of many
// BY groups holds one group's items at a time.
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/files.h"
#include "host/output/output_internal.h"
#include "host/util_directory.h"

namespace vsf::host::output {

namespace {

struct SpillState {
  bool on = false;        // the spill files hold the items that left
  bool retiring = false;  // items done leave the document
  Spill spill;
  // Descriptions at the top that left the document while the listing still waits for an item
  // under them, which a later item of their step may be.
  std::vector<Heading*> waiting;
};

SpillState& state() {
  static SpillState s;
  return s;
}

void closeSpill() {
  SpillState& s = state();
  if (s.spill.json) std::fclose(s.spill.json);
  if (s.spill.html) std::fclose(s.spill.html);
  s = SpillState();
}

bool released(const View& v, const DataObject* data) { return v.source != data || v.released; }

bool done(const Item& item);

// Whether the item's work is done, for the items of a step still running.
struct Done {
  bool operator()(const Table* t) const {
    if (!t->released) return false;
    // A view of its data still in use keeps it.
    for (const View& v : doc().views)
      if (!released(v, t->data)) return false;
    return true;
  }
  // Once closed and its tables released nothing more is listed under it: its descriptions
  // are done, listed or not.
  bool operator()(const Group* g) const {
    if (!g->closed) return false;
    for (const Item& item : g->items)
      if (!std::holds_alternative<Heading*>(item) && !done(item)) return false;
    return true;
  }
  bool operator()(const TextLine*) const { return true; }
  bool operator()(const Heading*) const { return true; }
  bool operator()(const Graph*) const { return true; }
};

bool done(const Item& item) { return std::visit(Done{}, item); }

// Every item of a step that ended is done: its handles are refused, its open tables were listed.
bool doneAt(const Item& item, bool stepEnded) { return stepEnded || done(item); }

template <typename T>
void dropFrom(std::list<T>& list, const T* p) {
  for (auto it = list.begin(); it != list.end(); ++it)
    if (&*it == p) {
      list.erase(it);
      return;
    }
}

void forget(const Object* o) {
  if (o) doc().handles.remove(static_cast<const HostObject*>(o));
}

void freeItem(const Item& item);

struct Free {
  void operator()(Table* t) const {
    Document& d = doc();
    for (Graph& g : d.graphs)
      for (GraphData& data : g.data)
        if (data.table == t) data.table = nullptr;
    for (auto it = d.views.begin(); it != d.views.end();)
      if (t->data && it->source == t->data) {
        forget(&*it);
        it = d.views.erase(it);
      } else {
        ++it;
      }
    forget(t->instance);
    forget(t->data);
    forget(t);
    if (t->instance) dropFrom(d.instances, t->instance);
    if (t->data) dropFrom(d.dataObjects, t->data);
    dropFrom(d.tables, t);
  }
  void operator()(Group* g) const {
    for (const Item& item : g->items) freeItem(item);
    forget(g);
    dropFrom(doc().groups, g);
  }
  void operator()(TextLine* t) const { dropFrom(doc().texts, t); }
  void operator()(Heading* h) const {
    forgetPending(h);
    dropFrom(doc().headings, h);
  }
  void operator()(Graph* g) const { dropFrom(doc().graphs, g); }
};

void freeItem(const Item& item) { std::visit(Free{}, item); }

// The values of BY groups no item in the document names any more.
void dropByValues() {
  Document& d = doc();
  int keep = d.currentBy >= 0 ? d.currentBy : d.byBase + static_cast<int>(d.byGroups.size());
  auto least = [&keep](const ByTag& t) {
    if (t.by >= 0) keep = std::min(keep, t.by);
  };
  for (const Table& t : d.tables) least(t);
  for (const Group& g : d.groups) least(g);
  for (const TextLine& t : d.texts) least(t);
  for (const Heading& h : d.headings) least(h);
  for (const Graph& g : d.graphs) least(g);
  while (d.byBase < keep && !d.byGroups.empty()) {
    d.byGroups.pop_front();
    d.byNumbers.pop_front();
    ++d.byBase;
  }
}

bool writeAt(std::FILE* file, std::string_view text, int64_t at) {
  const int fd = fileno(file);
  while (!text.empty()) {
    const ssize_t n = ::pwrite(fd, text.data(), text.size(), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
    at += n;
  }
  return true;
}

// The item's texts into the spill files; false, and the spill as it was, when a file did not
// take them (a full UTILPATH).
bool spillItem(Spill& s, const Item& item) {
  const Spill before = s;
  std::string text;
  if (s.json) {
    appendItemJson(text, item, s.jsonItems++);
    if (!writeAt(s.json, text, s.jsonBytes)) return s = before, false;
    s.jsonBytes += static_cast<int64_t>(text.size());
  }
  if (s.html) {
    text.clear();
    appendItemHtml(text, item, &s.htmlBy);
    if (!writeAt(s.html, text, s.htmlBytes)) return s = before, false;
    const int step = stepOf(item);
    if (s.htmlSteps.empty() || s.htmlSteps.back().step != step)
      s.htmlSteps.push_back(Spill::Part{step, s.htmlBytes, 0, -1});
    s.htmlSteps.back().bytes += static_cast<int64_t>(text.size());
    s.htmlSteps.back().by = s.htmlBy;
    s.htmlBytes += static_cast<int64_t>(text.size());
  }
  return true;
}

}  // namespace

void spillDocuments(bool json, bool html) {
  closeSpill();
  // A temporary directory that cannot be used is each step's error, not the run's: the
  // documents keep their items in memory.
  if (!utilDirectoryFault().empty()) return;
  SpillState& s = state();
  if (json) s.spill.json = anonymousFile();
  if (html) s.spill.html = anonymousFile();
  // Without its spill file a document keeps its items in memory, whole.
  s.on = s.retiring = (!json || s.spill.json) && (!html || s.spill.html);
  if (!s.on) closeSpill();
}

void resetSpill() { closeSpill(); }

const Spill* spill() { return state().on ? &state().spill : nullptr; }

void retireDone(bool stepEnded) {
  SpillState& s = state();
  if (!s.retiring) return;
  Document& d = doc();
  size_t n = 0;
  // Items made outside any step (tests) come first on the page: they stay.
  while (n < d.top.size() && stepOf(d.top[n]) >= 1 && doneAt(d.top[n], stepEnded)) {
    if (!spillItem(s.spill, d.top[n])) {
      // A spill file that takes no more: the items from this one on stay in memory, as they
      // did before the spill files.
      s.retiring = false;
      break;
    }
    ++n;
  }
  for (size_t k = 0; k < n; ++k) {
    Heading* const* h = std::get_if<Heading*>(&d.top[k]);
    if (h && headingPending(*h))
      s.waiting.push_back(*h);
    else
      freeItem(d.top[k]);
  }
  d.top.erase(d.top.begin(), d.top.begin() + static_cast<std::ptrdiff_t>(n));
  // Once listed, or once their step ended, the waiting descriptions go.
  std::erase_if(s.waiting, [stepEnded](Heading* h) {
    if (!stepEnded && headingPending(h)) return false;
    freeItem(h);
    return true;
  });
  dropByValues();
}

bool copySpill(std::FILE* file, int64_t from, int64_t bytes,
               const std::function<bool(std::string_view)>& sink) {
  std::string buffer(static_cast<size_t>(std::min<int64_t>(bytes, int64_t{1} << 20)), '\0');
  for (int64_t at = from; at < from + bytes;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(from + bytes - at, buffer.size()));
    const ssize_t got = ::pread(fileno(file), buffer.data(), want, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;  // shorter than what was written to it
      return false;
    }
    if (!sink(std::string_view(buffer.data(), static_cast<size_t>(got)))) return false;
    at += got;
  }
  return true;
}

}  // namespace vsf::host::output
