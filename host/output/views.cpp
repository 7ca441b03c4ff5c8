// Filtered views over the data objects of bound tables.
#include "host/output/output_internal.h"

namespace vsf::host::output {

int makeView(Object&, const Request& r) {
  const OutputArgItem* dataItem = r.get(key::kFilterData);
  Object* source = dataItem ? r.handle(*dataItem) : nullptr;
  if (!source || source->kind != ObjectKind::kDataObject)
    return refuse(status::kBadHandle, "a view over no live data object");
  const OutputArgItem* whereItem = r.get(key::kWhere);
  auto where = whereItem ? r.text(*whereItem) : std::nullopt;
  if (!where) return refuse(status::kBadArgument, "a view without a where clause");
  const OutputArgItem* viewItem = r.get(key::kView);
  void** out = viewItem ? r.out(*viewItem) : nullptr;
  if (!out) return refuse(status::kBadArgument, "no out-handle for a view");
  auto* data = static_cast<DataObject*>(source);
  std::vector<size_t> rows;
  std::string error;
  if (!filterRows(*data->owner, *where, &rows, &error))
    return refuse(status::kBadWhere, "where clause \"" + *where + "\": " + error);
  Document& d = doc();
  d.views.emplace_back();
  View& v = d.views.back();
  v.source = data;
  v.where = *where;
  v.rows = std::move(rows);
  *out = registerObject(&v, ObjectKind::kView, plainHandlers());
  return 0;
}

int releaseView(Object&, const Request& r) {
  const OutputArgItem* viewItem = r.get(key::kView);
  Object* v = viewItem ? r.handle(*viewItem) : nullptr;
  if (!v || v->kind != ObjectKind::kView)
    return refuse(status::kBadHandle, "a view release naming no view");
  if (v->released) return refuse(status::kBadState, "a view released twice");
  v->released = true;
  return 0;
}

}  // namespace vsf::host::output
