#pragma once

#include <QList>
#include <QString>
#include <functional>

// The filter query: which columns of the staff tables to list for all persons. The filter form
// ticks column boxes and composes one select text from fixed pieces; the result window runs it.
// The boxes, their group boxes and the queries they feed are tables of data that drive the
// form's layout, its presets and the composition alike.
namespace filter {

// The queries, in composition order: the all-tables query first, then the six history queries.
// A preset radio button ticks every box of its query.
struct Query {
  QString head;
  QString tail;
  int radio;       // RadioButtonN of the preset
  QString preset;  // the preset's caption
};
const QList<Query>& queries();

// A group box of the form and the query its boxes feed (an index into queries()).
struct Group {
  int number;  // GroupBoxN
  QString caption;
  int query;
};
const QList<Group>& groups();

// A column box, in composition order within its query.
struct Box {
  int group;   // GroupBoxN holding it
  int number;  // CheckBoxN
  QString caption;
  QString text;  // the select-list piece a tick appends; empty for the fixed 身份证号
};
const QList<Box>& boxes();

// The group box holding a box, and so the query it feeds.
const Group& groupOf(const Box& box);

// The box always ticked and disabled: the identity number is in every result.
inline constexpr int kFixedBox = 2;

// Composes the select text: the all-tables query from its head, the pieces of its ticked boxes
// and its tail; but when a history query has a ticked box, the last such query in order, made
// the same way, replaces it.
QString compose(const std::function<bool(int box)>& ticked);

// The process-wide filter query text: empty at start; the filter form's 确定 writes it, the
// result window reads it each time it is shown.
QString& text();

}  // namespace filter
