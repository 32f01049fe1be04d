#include "reports/record_report.h"

#include "schema/queries.h"
#include "shell/remote_dataset.h"

namespace reports {

namespace {

// Bands of every record report, in px; headings and values stand at y = 16 in their band.
constexpr double kTitleHeight = 35;
constexpr double kHeaderHeight = 33;
constexpr double kDetailHeight = 43;
constexpr double kRowY = 16;

RecordReportSpec spec(const char* table, const char* provider, const char* title, double titleY,
                      QList<RecordColumn> columns) {
  const QString name = QString::fromLatin1(table);
  return {name + QStringLiteral("_report"),
          name,
          QString::fromLatin1(provider),
          QString::fromUtf8(title),
          256,
          titleY,
          std::move(columns)};
}

}  // namespace

const QList<RecordReportSpec>& recordReports() {
  static const QList<RecordReportSpec> all = {
      spec("jzgjckh", "DataSetProvider_temp2", "教职工奖惩考核表", 8,
           {{"称号", 24, "ch", 32},
            {"等级", 104, "dj", 112},
            {"任教学科", 184, "rjxk", 192},
            {"授予时间", 280, "sj", 304},
            {"授予单位", 416, "dw", 432}}),
      spec("shgx", "DataSetProvider_temp1", "教职工社会关系", 8,
           {{"姓名", 24, "name", 32},
            {"称谓", 96, "cw", 104},
            {"职务", 176, "zw", 184},
            {"工作单位", 248, "gzdw", 248},
            {"地址", 384, "address", 384},
            {"电话", 616, "tel", 616}}),
      spec("grll", "DataSetProvider_temp3", "教职工个人履历表", 8,
           {{"起始时间", 24, "start_sj", 32},
            {"结束时间", 96, "end_sj", 104},
            {"所在单位", 176, "dw", 176},
            {"所在部门", 280, "bm", 280},
            {"行政职务", 416, "xzzw", 416},
            {"职务级别", 536, "zwjb", 536}}),
      // xlsm is read by the query but not printed.
      spec("jyqk", "datasetprovider_temp4", "教职工受教育情况", 11,
           {{"入学年月", 0, "rxny", 8},
            {"毕业年月", 64, "byny", 64},
            {"毕业学校", 128, "byxx", 128},
            {"学历", 224, "xl", 224},
            {"专业", 280, "zy", 280},
            {"学习方式", 336, "xxfs", 336},
            {"学位", 408, "xw", 408},
            {"学位时间", 456, "xwsj", 456},
            {"学位授予国家", 528, "xwgj", 536},
            {"授予单位", 632, "xwdw", 632}}),
      spec("jnpx", "DataSetProvider_temp5", "教职工境内培训情况", 11,
           {{"起始时间", 0, "start_sj", 8},
            {"结束时间", 88, "end_sj", 88},
            {"学时数", 200, "xss", 192},
            {"培训级别", 280, "jb", 280},
            {"形式", 376, "xs", 376},
            {"内容", 472, "nr", 472},
            {"培训单位", 616, "dw", 616}}),
      spec("jwpx", "DataSetProvider_temp6", "教职工境外培训情况", 11,
           {{"起始时间", 0, "start_sj", 8},
            {"结束时间", 88, "end_sj", 88},
            {"内容", 200, "nr", 192},
            {"单位", 360, "dw", 360},
            {"国家/地区", 624, "gj", 624}}),
  };
  return all;
}

RecordReport::RecordReport(const RecordReportSpec& spec, QObject* parent)
    : QObject(parent),
      query_(schema::queries::history(spec.table).report),
      dataset_(new RemoteDataset(spec.provider, this)) {
  dataset_->setObjectName(spec.table + QStringLiteral("_search"));
  report_.rows = dataset_;
  report_.title = {kTitleHeight, {fixedText(spec.titleX, spec.titleY, spec.title)}};
  report_.columnHeader.height = kHeaderHeight;
  report_.detail.height = kDetailHeight;
  for (const RecordColumn& c : spec.columns) {
    report_.columnHeader.texts.append(fixedText(c.headingX, kRowY, c.heading));
    report_.detail.texts.append(boundText(c.valueX, kRowY, dataset_, c.column));
  }
}

void RecordReport::load(const QString& personId) {
  dataset_->close();
  dataset_->setCommandText(query_, {personId});
  dataset_->open();
}

void RecordReport::close() { dataset_->close(); }

}  // namespace reports
