#include "schema/tables.h"

namespace schema {

namespace {

using K = Kind;

Column col(const char* name, const char* label, Kind kind) {
  return {QString::fromLatin1(name), QString::fromUtf8(label), kind};
}

Table oneRow(const char* name, const char* caption, QList<Column> columns) {
  columns.prepend(col("id", "身份证号", K::IdentityNumber));
  return {QString::fromLatin1(name), QString::fromUtf8(caption), TableKind::OneRow, columns};
}

Table history(const char* name, const char* caption, QList<Column> columns) {
  columns.prepend(col("id", "身份证号", K::IdentityNumber));
  columns.prepend(col("id_num", "序号", K::Integer));
  return {QString::fromLatin1(name), QString::fromUtf8(caption), TableKind::History, columns};
}

QList<Table> build() {
  QList<Table> all;
  all << oneRow("info", "基本信息表",
                {col("name", "姓名", K::Text), col("mz", "民族", K::Text),
                 col("date", "出生日期", K::YearMonth), col("zzmm", "政治面貌", K::Choice),
                 col("tel_mob", "移动电话", K::Text), col("zym", "曾用名", K::Text),
                 col("sex", "性别", K::Choice), col("jg_se", "省", K::Text),
                 col("jg_si", "市", K::Text), col("jg_xa", "县", K::Text),
                 col("yyzk", "婚姻状况", K::Choice), col("dpsj", "参加党派时间", K::YearMonth)});
  all << oneRow("wycd", "文化程度",
                {col("zgxl", "最高学历", K::Choice), col("zgxlzy", "最高学历专业", K::Choice),
                 col("xljg", "学历机构", K::Text), col("xwjg", "获得最高学位的院校和机构", K::Text),
                 col("zgxw", "最高学位", K::Choice), col("dyxl", "第一学历", K::Choice),
                 col("dyxlzy", "第一学历专业", K::Choice), col("pthdj", "普通话等级", K::Choice)});
  all << oneRow(
      "other_info", "其他个人信息",
      {col("tel", "电话", K::Text), col("yb", "邮编", K::Text), col("zjxy", "宗教信仰", K::Text),
       col("email", "电子信箱", K::Text), col("address", "地址", K::Text),
       col("pexm", "配偶姓名", K::Text), col("pedw", "配偶工作单位", K::Text),
       col("shjz", "社会兼职", K::LongText), col("xsttjz", "学术团体兼职", K::LongText)});
  all << oneRow("gzdd", "工作调动情况",
                {col("year", "参加工作年月", K::YearMonth), col("gn", "工龄", K::NumberText),
                 col("cjny", "从教年月", K::YearMonth), col("jn", "教龄", K::NumberText),
                 col("jxsj", "进校时间", K::YearMonth), col("jxfs", "进校方式", K::Choice),
                 col("ly_shen", "来源地区省", K::Text), col("ly_shi", "来源地区市", K::Text),
                 col("ly_lb", "来源地区类别", K::Choice)});
  all << oneRow("gwxx", "岗位信息",
                {col("gwzgzs", "岗位资格证书", K::Choice), col("zsbh", "证书编号", K::Text),
                 col("zszq", "证书日期", K::YearMonth), col("zgjg", "资格认定机构", K::Text)});
  all << oneRow("rjxx", "任教信息",
                {col("rjxk", "任教学科", K::Choice), col("kss", "周平均课时数", K::NumberText),
                 col("bzrgznx", "班主任工作年限", K::NumberText)});
  all << oneRow("xzzwqk", "行政职务情况",
                {col("xzzw", "行政职务", K::Choice), col("rzny", "任职年月", K::YearMonth)});
  all << oneRow("dnzwqk", "党内职务情况",
                {col("dnzw", "党内职务", K::Choice), col("rzny_dn", "任职年月", K::YearMonth)});
  all << oneRow("zyjs", "专业技术职称",
                {col("zyjszc", "专业技术职称", K::Choice), col("sj", "取得时间", K::YearMonth)});
  all << oneRow("grjs", "工人技术等级情况",
                {col("grjsdj", "工人技术等级", K::Choice), col("sj_gr", "取得时间", K::YearMonth)});

  all << history(
      "jzgjckh", "教职工奖惩考核",
      {col("ch", "称号", K::Text), col("dj", "等级", K::Text), col("rjxk", "任教学科", K::Text),
       col("sj", "授予时间", K::YearMonth), col("dw", "授予单位", K::Text)});
  all << history("shgx", "社会关系",
                 {col("name", "姓名", K::Text), col("cw", "称谓", K::Text),
                  col("zw", "职务", K::Text), col("gzdw", "工作单位", K::Text),
                  col("address", "地址", K::Text), col("tel", "电话", K::Text)});
  all << history(
      "grll", "个人履历",
      {col("start_sj", "起始时间", K::YearMonth), col("end_sj", "结束时间", K::YearMonth),
       col("dw", "所在单位", K::Text), col("bm", "所在部门", K::Text),
       col("xzzw", "行政职务", K::Text), col("zwjb", "职务级别", K::Text)});
  all << history("jyqk", "受教育情况",
                 {col("rxny", "入学年月", K::YearMonth), col("byny", "毕业年月", K::YearMonth),
                  col("byxx", "毕业学校", K::Text), col("xl", "学历", K::Text),
                  col("xlsm", "学历说明", K::LongText), col("zy", "专业", K::Text),
                  col("xxfs", "学习方式", K::Text), col("xw", "学位", K::Text),
                  col("xwsj", "学位时间", K::YearMonth), col("xwgj", "学位授予国家", K::Text),
                  col("xwdw", "学位授予单位", K::Text)});
  all << history(
      "jnpx", "境内培训情况",
      {col("start_sj", "起始时间", K::YearMonth), col("end_sj", "结束时间", K::YearMonth),
       col("xss", "学时数", K::NumberText), col("jb", "培训级别", K::Text),
       col("xs", "形式", K::Text), col("nr", "内容", K::LongText), col("dw", "培训单位", K::Text)});
  all << history("jwpx", "境外培训情况",
                 {col("start_sj", "起始时间", K::YearMonth),
                  col("end_sj", "结束时间", K::YearMonth), col("nr", "内容", K::LongText),
                  col("dw", "培训单位", K::Text), col("gj", "培训国家地区", K::Text)});

  all << Table{kAccounts,
               QString(),
               TableKind::Accounts,
               {col("id", "身份证号", K::IdentityNumber), col("password", "", K::Password),
                col("qx", "", K::Integer), col("shr", "审核人", K::IdentityNumber)}};
  all << Table{
      kCounter,
      QString(),
      TableKind::Counter,
      {col("jzgjckh", "", K::Integer), col("shgx", "", K::Integer), col("grll", "", K::Integer),
       col("jyqk", "", K::Integer), col("jnpx", "", K::Integer), col("jwpx", "", K::Integer)}};
  return all;
}

QList<Table> buildServerTables() {
  return {
      Table{kChangeLog,
            QStringLiteral("变更记录"),
            TableKind::ChangeLog,
            {col("changed_at", "时间", K::Text), col("changed_by", "修改人", K::IdentityNumber),
             col("id", "身份证号", K::IdentityNumber), col("table_name", "表", K::Text),
             col("row_number", "序号", K::Integer), col("column_name", "项目", K::Text),
             col("old_value", "原值", K::LongText), col("new_value", "新值", K::LongText),
             col("kind", "类型", K::Text)},
            2},
      Table{kChangeSummary,
            QString(),
            TableKind::ChangeLog,
            {col("id", "身份证号", K::IdentityNumber), col("changed", "", K::Integer),
             col("reviewed", "", K::Integer)},
            2},
  };
}

QList<const Table*> ofKind(TableKind kind) {
  QList<const Table*> found;
  for (const Table& t : tables())
    if (t.kind == kind) found << &t;
  return found;
}

}  // namespace

QString Table::uniqueColumn() const {
  if (isHistory()) return QStringLiteral("id_num");
  if (name == kChangeSummary) return QStringLiteral("id");
  return QString();
}

const Column* Table::column(QStringView columnName) const {
  for (const Column& c : columns)
    if (c.name == columnName) return &c;
  return nullptr;
}

QStringList Table::columnNames() const {
  QStringList names;
  for (const Column& c : columns) names << c.name;
  return names;
}

const QList<Table>& tables() {
  static const QList<Table> all = build();
  return all;
}

const Table* table(QStringView name) {
  for (const Table& t : tables())
    if (t.name == name) return &t;
  return nullptr;
}

const QList<const Table*>& storedTables() {
  static const QList<Table> own = buildServerTables();
  static const QList<const Table*> all = [] {
    QList<const Table*> list;
    for (const Table& t : tables()) list << &t;
    for (const Table& t : own) list << &t;
    return list;
  }();
  return all;
}

const Table* storedTable(QStringView name) {
  for (const Table* t : storedTables())
    if (t->name == name) return t;
  return nullptr;
}

QList<const Table*> oneRowTables() { return ofKind(TableKind::OneRow); }

QList<const Table*> historyTables() { return ofKind(TableKind::History); }

const QStringList& commandTextProviders() {
  static const QStringList names = {"DataSetProvider_search", "DataSetProvider_temp1",
                                    "DataSetProvider_temp2",  "DataSetProvider_temp3",
                                    "datasetprovider_temp4",  "DataSetProvider_temp5",
                                    "DataSetProvider_temp6"};
  return names;
}

const Table* providerTable(QStringView provider) {
  if (provider == u"DataSetProvider_user") return table(kAccounts);
  if (provider == u"DataSetProvider_count") return table(kCounter);
  static const QString prefix = QStringLiteral("DataSetProvider_");
  if (!provider.startsWith(prefix)) return nullptr;
  const Table* t = table(provider.mid(prefix.size()));
  return t && t->kind == TableKind::OneRow ? t : nullptr;
}

}  // namespace schema
