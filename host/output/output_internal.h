// The object model of the output system: tables, factoids, groups, text lines, headings, data
// objects, views and graph requests, the document that holds them in order, and the request
// decoding shared by the operation handlers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <iosfwd>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "frame/host/output.h"
#include "host/log_text.h"
#include "host/output/output.h"
#include "host/pointer_table.h"

namespace vsf::host::output {

// ---- Values ----
struct Cell {
  enum class Kind : uint8_t { kNull, kInt, kDouble, kText };
  Kind kind = Kind::kNull;
  int64_t i = 0;
  double d = 0.0;
  std::string s;

  static Cell ofInt(int64_t v) {
    Cell c;
    c.kind = Kind::kInt;
    c.i = v;
    return c;
  }
  static Cell ofDouble(double v) {
    Cell c;
    c.kind = Kind::kDouble;
    c.d = v;
    return c;
  }
  // A text of a data set may hold any bytes: the documents get it as valid UTF-8, and a line
  // break (a CLASS value written over two lines) as \x0A, so that the row stays one line.
  static Cell ofText(std::string_view v) {
    Cell c;
    c.kind = Kind::kText;
    c.s = escapedBytes(v);
    for (size_t at = c.s.find('\n'); at != std::string::npos; at = c.s.find('\n', at))
      c.s.replace(at, 1, "\\x0A");
    return c;
  }
  // Nonzero numbers and texts "1", "TRUE", "YES" count as true.
  bool truthy() const;
  // The value as plain text (numbers in their shortest exact form).
  std::string plain() const;
};

struct NamedValue {
  std::string name;
  Cell value;
};
using Dynamics = std::vector<NamedValue>;
// Case-insensitive; the last setting wins.
const Cell* findDynamic(const Dynamics& d, std::string_view name);
void setDynamic(Dynamics& d, std::string name, Cell value);

bool equalNoCase(std::string_view a, std::string_view b);
std::string lowerCopy(std::string_view s);

// ---- Objects handed to the procedure ----
enum class ObjectKind : uint8_t { kRoot, kManager, kTable, kGroup, kInstance, kDataObject, kView };

// The BY group an item belongs to: an index into the document's BY groups, -1 for none.
struct ByTag {
  int by = -1;
};

struct Object : HostObject, ByTag {
  ObjectKind kind = ObjectKind::kRoot;
  int id = 0;
  int step = 0;
  bool released = false;
};

enum class ColumnType : uint8_t { kChar = 1, kInt = 3, kDouble = 5, kText = 6, kString = 66 };

struct Template;
struct TemplateColumn;

struct Column {
  std::string name;
  std::string label;
  std::string templateColumn;  // the template column that formats it, when not its name
  ColumnType type = ColumnType::kDouble;
  int width = 0;          // display width, or the byte width of a text column
  int decimals = -1;      // -1 when not given; 98 best fit, 99 the variable's own format
  std::string varFormat;  // format of the data-set variable that describes the column
  const void* binding = nullptr;
  Dynamics dynamics;
  // The template column found for it in template `foundIn` (templateColumn): a table's layout
  // asks for it several times a column.
  mutable const Template* foundIn = nullptr;
  mutable const TemplateColumn* found = nullptr;
};

// A column as a definition made it, with that definition's items: see defineColumn.
struct KnownColumn {
  std::vector<OutputArgItem> items;
  Column column;
};

struct FactoidEntry {
  std::string label;
  Cell value;
  int width = 0;
  int decimals = -1;
  std::string formatName;
};

struct Group;
struct Instance;
struct DataObject;

struct Table : Object {
  bool factoid = false;
  std::string kindText;
  std::string name, label, label2, title, templatePath;
  std::vector<Column> columns;
  std::vector<std::vector<Cell>> rows;
  std::vector<FactoidEntry> entries;
  Dynamics dynamics;
  std::vector<std::pair<uint16_t, Cell>> extras;  // further create items, kept as sent
  std::string note;                               // the message given with the release
  int display = -1;                               // bind flag 2640, -1 when not given
  bool columnsEnded = false, bound = false, closed = false, listed = false;
  Instance* instance = nullptr;
  DataObject* data = nullptr;
  Group* parent = nullptr;
  // The template of templatePath as last looked up (templateOf): a table asks for it for each
  // of its columns.
  mutable const Template* found = nullptr;
  mutable std::string foundFor;
  // The columns the step's last table of this name was defined with (Document::knownColumns).
  std::vector<KnownColumn>* known = nullptr;
};

// HostObject::table is the handler table: the table an instance or data object stands for
// is its owner.
struct Instance : Object {
  Table* owner = nullptr;
};

struct DataObject : Object {
  Table* owner = nullptr;
};

struct View : Object {
  DataObject* source = nullptr;
  std::string where;
  std::vector<size_t> rows;  // rows of the source table that pass the clause
};

struct TextLine;
struct Heading;
struct Graph;
using Item = std::variant<Table*, Group*, TextLine*, Heading*, Graph*>;

struct Group : Object {
  std::string name, label, baseName;
  Cell number;
  std::vector<std::pair<uint16_t, int64_t>> flags;
  std::vector<Item> items;
  Group* parent = nullptr;
  bool closed = false;
  bool listed = false;  // its heading has gone to the listing
};

struct TextLine : ByTag {
  int step = 0;
  std::string text;
  char justify = 'c';
  bool rule = false;
  char ruleChar = '-';
  Group* parent = nullptr;
};

// A description the procedure gives at a nesting level (group attributes with a level).
struct Heading : ByTag {
  int step = 0;
  int level = 0;
  std::string text;
  Group* parent = nullptr;
};

struct GraphData {
  const Table* table = nullptr;  // null once the table left the document (retireDone)
  std::string tableName;
  int tableId = 0;
  int objectId = 0;
  bool filtered = false;
  std::string where;
  std::vector<size_t> rows;  // the rows the graph sees
};

struct Graph : ByTag {
  int id = 0;
  int step = 0;
  std::string name, label, title, templatePath;
  std::vector<GraphData> data;
  Dynamics variables;           // the outer list's pairs, in order
  std::vector<Dynamics> lists;  // nested lists of pairs, in order
  Group* parent = nullptr;
  std::string svg;    // its drawing, once made
  std::string file;   // the SVG file it was written to
  std::string where;  // what the listing says of where it went
};

// The graph's drawing as an SVG document (made now when it was not made at its request).
std::string graphSvg(const Graph& g);

// ---- The document ----
// Objects are kept in lists, whose elements stay where they are while others leave
// (retireDone).
struct Document {
  std::deque<Object> managers;
  std::list<Table> tables;
  std::list<Group> groups;
  std::list<Instance> instances;
  std::list<DataObject> dataObjects;
  std::list<View> views;
  std::list<TextLine> texts;
  std::list<Heading> headings;
  std::list<Graph> graphs;
  std::vector<Item> top;
  // The BY groups' values and their numbers within their step's walk, from BY group byBase on
  // (the earlier ones' items have left).
  std::deque<std::vector<ByValue>> byGroups;
  std::deque<int64_t> byNumbers;
  int byBase = 0;
  int currentBy = -1;  // the BY group of new items
  int listedBy = -1;   // the BY group of the last item listed
  PointerTable<Object*> handles;
  std::vector<Group*> open;  // innermost last
  Object* manager = nullptr;
  int step = 0;
  int nextId = 1;
  std::vector<LoggedRequest> log;
  std::optional<std::pair<uint32_t, int32_t>> injected;
  std::unordered_map<std::string, int> graphFiles;  // SVG file names given, and their count
  // The columns each table name was last defined with in this step, by place: a BY step
  // defines the same columns in every group (tables.cpp, defineColumn).
  std::unordered_map<std::string, std::vector<KnownColumn>> knownColumns;
};

Document& doc();
std::ostream* listingStream();
// The values and the number of BY group `by` (of an item still in the document).
const std::vector<ByValue>& byValuesOf(int by);
int64_t byNumberOf(int by);

// Registers an object as a handle of the current step; returns its handle.
void* registerObject(Object* o, ObjectKind kind, const HandlerTable* table);
// The live object of the current step behind a handle, or null.
Object* lookupHandle(const void* handle);
// Any object ever handed out, of any step (so that no handle is mistaken for a string).
Object* findObject(const void* handle);
// The BY tag and the step of any item.
ByTag& byTagOf(const Item& item);
int stepOf(const Item& item);
// Adds an item to the innermost open group, or to the top of the document, in the current BY
// group.
Group* currentGroup();
void addItem(Item item);
// Group names from the top down to the item's own name, joined by dots.
std::string pathOf(const Group* parent, std::string_view name);

// Ends the current step's open work (manager creation and finish call it).
void closeStep();

// ---- Items done ----
// Once spillDocuments was called: the items at the top of the document whose work is done
// (tables released, groups closed, headings listed), up to the first that is not, leave it,
// what the documents need of them written to the spill files first. A new BY group and a
// step's end call it, so that memory holds one group's items however many groups there are.
void retireDone(bool stepEnded = false);
// What the documents need of the items that left, in document order.
struct Spill {
  std::FILE* json = nullptr;  // the JSON text of each item, as an element of "output"
  std::FILE* html = nullptr;  // the HTML text of each item
  int64_t jsonItems = 0;
  int64_t jsonBytes = 0, htmlBytes = 0;  // of the items written whole
  int htmlBy = -1;                       // the BY group of the last item written to the page
  // Per step, its items' bytes in the HTML spill and the BY group of its last item.
  struct Part {
    int step = 0;
    int64_t from = 0, bytes = 0;
    int by = -1;
  };
  std::vector<Part> htmlSteps;
};
// Null before spillDocuments.
const Spill* spill();
// Closes the spill files; items stay in the document again (reset).
void resetSpill();
// Copies `bytes` of a spill file from `from` to the sink, in pieces; false (errno set) when it
// cannot be read back or the sink fails.
bool copySpill(std::FILE* file, int64_t from, int64_t bytes,
               const std::function<bool(std::string_view)>& sink);
// The items' texts for the spill files, as the documents' writers make them: the JSON of the
// `index`-th element of "output", and the HTML of a top item on a page whose last BY group was
// *pageBy.
void appendItemJson(std::string& out, const Item& item, int64_t index);
void appendItemHtml(std::string& out, const Item& item, int* pageBy);
// The listing's descriptions waiting for an item under them, and the end of the wait of one
// that nothing can come under any more.
bool headingPending(const Heading* h);
void forgetPending(const Heading* h);

// ---- Requests ----
class Request {
 public:
  Request(uint32_t op, OutputArgItem* items, int count) : op_(op), items_(items), count_(count) {}
  uint32_t op() const { return op_; }
  int count() const { return count_; }
  OutputArgItem& item(int i) const { return items_[i]; }
  // Index of the first item with the key at or after `from`, or -1.
  int find(uint16_t key, int from = 0) const;
  const OutputArgItem* get(uint16_t key) const;

  // Text of a string handle (66), byte string (20) or character (1); nullopt otherwise or
  // for a null handle.
  std::optional<std::string> text(const OutputArgItem& a) const;
  std::optional<int64_t> integer(const OutputArgItem& a) const;  // 3, 4, 13, 1
  std::optional<double> number(const OutputArgItem& a) const;    // 5 or an integer type
  // A dynamic value: number, text, or null for a null handle.
  std::optional<Cell> value(const OutputArgItem& a) const;
  // The object a handle argument names (types 12, 17, 66), or null.
  Object* handle(const OutputArgItem& a) const;
  // Where an out-argument wants its handle written (types 12, 17, 67), or null.
  void** out(const OutputArgItem& a) const;
  // The 311/287 pairs of the request, from `from`; false when a name has no value.
  bool pairs(Dynamics* into, int from = 0) const;

 private:
  uint32_t op_;
  OutputArgItem* items_;
  int count_;
};

// Logs why a request was refused and returns the status as the handler's result.
int refuse(uint32_t status, const std::string& reason);

using OpHandler = int (*)(Object& self, const Request& r);
struct OpDef {
  uint32_t id;
  OpHandler handler;
};
// A handler table over the operations; entries route through the logging dispatcher.
class HandlerSet {
 public:
  HandlerSet(std::initializer_list<OpDef> ops);
  HandlerSet(const HandlerSet&) = delete;
  HandlerSet& operator=(const HandlerSet&) = delete;
  const HandlerTable* table() const { return &table_; }

 private:
  std::vector<OpDef> ops_;
  std::vector<HandlerEntry> entries_;
  HandlerEntry* bucket_ = nullptr;
  HandlerTable table_;
};

// Handler sets of each kind of object.
const HandlerTable* tableHandlers();
const HandlerTable* groupHandlers();
const HandlerTable* plainHandlers();  // objects without operations of their own

// Operations on the manager, defined beside the objects they make.
int createTable(Object& manager, const Request& r);
int bindTemplate(Object& manager, const Request& r);
int releaseInstance(Object& manager, const Request& r);
int openGroup(Object& manager, const Request& r);
int groupAttributes(Object& manager, const Request& r);
int textLine(Object& manager, const Request& r);
int makeView(Object& manager, const Request& r);
int releaseView(Object& manager, const Request& r);
int renderGraph(Object& manager, const Request& r);

// Reads a data object's rows that pass a where clause ("where=(...)" or the bare clause).
bool filterRows(const Table& table, std::string_view where, std::vector<size_t>* rows,
                std::string* error);

// ---- Renderers ----
// The text with &, <, > and " written as HTML and SVG need them.
std::string escapeMarkup(std::string_view s);
// Writes an item to the listing stream as it completes, with the headings of its groups.
void listItem(const Item& item);
// What the listing holds goes out: as each BY group starts and each step ends (a line of the
// log flushes standard output first where the two reach one place, so that they keep their order).
void flushListing();
// The listing's first failed write, logged once as an error: standard output and the reason.
void reportListingFailure();

}  // namespace vsf::host::output
