#include "records/history_grids.h"

#include "schema/choices.h"

namespace records {

namespace {

namespace ch = schema::choices;

GridColumn shown(const char* title, const char* column, const QStringList& (*choices)() = nullptr) {
  return {QString::fromUtf8(title), QString::fromLatin1(column), choices, {}};
}

GridColumn yearMonth(const char* title, const char* column, const char* message) {
  return {QString::fromUtf8(title), QString::fromLatin1(column), nullptr,
          QString::fromUtf8(message)};
}

HistoryGrid grid(const char* table, const char* caption, int number, const char* provider,
                 QList<GridColumn> columns) {
  return {QString::fromLatin1(table), QString::fromUtf8(caption),
          QStringLiteral("DBGrid%1").arg(number), QString::fromLatin1(provider),
          std::move(columns)};
}

}  // namespace

const QList<HistoryGrid>& historyGrids() {
  static const QList<HistoryGrid> all = {
      grid("jzgjckh", "教职工奖惩考核表", 1, "DataSetProvider_temp1",
           {shown("称号", "ch", ch::honour), shown("等级", "dj", ch::honourLevel),
            shown("任教学科", "rjxk", ch::gridTeachingSubject),
            yearMonth("授予时间", "sj",
                      "教职工奖惩考核表中的授予时间格式不正确！格式：年月，如：198001，"
                      "需要6位数字！"),
            shown("授予单位", "dw")}),
      grid("shgx", "教职工社会关系", 2, "DataSetProvider_temp2",
           {shown("姓名", "name"), shown("称谓", "cw"), shown("职务", "zw"),
            shown("工作单位", "gzdw"), shown("地址", "address"), shown("电话", "tel")}),
      grid("grll", "教职工个人履历", 3, "DataSetProvider_temp3",
           {yearMonth("起始时间", "start_sj",
                      "个人履历中的起始时间的格式不正确！格式：年月，如：198001，需要6位数字！"),
            shown("结束时间", "end_sj"), shown("所在单位", "dw"), shown("所在部门", "bm"),
            shown("行政职务", "xzzw"), shown("职务级别", "zwjb")}),
      grid("jyqk", "教职工受教育情况", 4, "datasetprovider_temp4",
           {yearMonth("入学年月", "rxny",
                      "入学年月的时间格式不正确！格式：年月，如：198001，需要6位数字！"),
            yearMonth("毕业年月", "byny",
                      "毕业年月的时间格式不正确！格式：年月，如：198001，需要6位数字！"),
            shown("毕业学校", "byxx"), shown("学历", "xl", ch::gridEducation),
            shown("学历说明", "xlsm", ch::educationNote), shown("专业", "zy", ch::gridMajor),
            shown("学习方式", "xxfs", ch::studyMode), shown("学位", "xw", ch::gridDegree),
            yearMonth("学位时间", "xwsj",
                      "学位时间格式不正确！格式：年月，如：198001，需要6位数字！"),
            shown("学位授予国家", "xwgj"), shown("学位授予单位", "xwdw")}),
      grid("jnpx", "教职工境内业务培训", 5, "DataSetProvider_temp5",
           {yearMonth("起始时间", "start_sj",
                      "境内培训的起始时间格式不正确！格式：年月，如：198001，需要6位数字！"),
            yearMonth("结束时间", "end_sj",
                      "境内培训的结束时间格式不正确！格式：年月，如：198001，需要6位数字！"),
            shown("学时数", "xss"), shown("培训级别", "jb", ch::trainingLevel),
            shown("形式", "xs", ch::trainingForm), shown("内容", "nr"), shown("培训单位", "dw")}),
      grid("jwpx", "教职工境外业务培训", 6, "DataSetProvider_temp6",
           {yearMonth("起始时间", "start_sj",
                      "境外培训的起始时间格式不正确！格式：年月，如：198001，需要6位数字！"),
            yearMonth("结束时间", "end_sj",
                      "境外培训的结束时间格式不正确！格式：年月，如：198001，需要6位数字！"),
            shown("内容", "nr"), shown("培训单位", "dw"), shown("培训国家地区", "gj")}),
  };
  return all;
}

const QList<int>& saveOrder() {
  static const QList<int> order = {0, 2, 1, 3, 4, 5};
  return order;
}

}  // namespace records
