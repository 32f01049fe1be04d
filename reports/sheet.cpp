#include "reports/sheet.h"

#include <algorithm>

#include "shell/person_row.h"
#include "shell/remote_dataset.h"

namespace reports {

namespace {

// The ten tables, in loading order.
const QStringList kTables = {"info", "wycd",   "other_info", "gzdd", "gwxx",
                             "rjxx", "xzzwqk", "dnzwqk",     "zyjs", "grjs"};

// Loading goes on past a missing row of this table only.
const QString kGoesOn = QStringLiteral("info");

// The sheet's texts: headings and sub-titles in the heading face; captions, fixed in the
// report font, most of them paired with a value, the column named "table.column" in the report
// font. Positions in px from the detail band's top-left.
struct Item {
  double x;
  double y;
  const char* text;
  Face face = Face::Report;
  double valueX = 0;
  double valueY = 0;
  const char* value = nullptr;
};

constexpr Item H(double x, double y, const char* text) { return {x, y, text, Face::Heading}; }
constexpr Item C(double x, double y, const char* text) { return {x, y, text}; }
constexpr Item P(double x, double y, const char* caption, double valueX, double valueY,
                 const char* value) {
  return {x, y, caption, Face::Report, valueX, valueY, value};
}

// Row by row: the left pair, then the right one.
// clang-format off
constexpr Item kItems[] = {
    H(23, 6, "基本信息"),
    P(24, 32, "姓名", 96, 32, "info.name"),          P(368, 32, "曾用名", 424, 32, "info.zym"),
    P(24, 56, "身份证号", 96, 56, "info.id"),        P(376, 56, "性别", 424, 56, "info.sex"),
    P(24, 80, "民族", 96, 80, "info.mz"),            P(376, 80, "籍贯", 424, 80, "info.jg_se"),
    P(472, 80, "省", 496, 80, "info.jg_si"),         P(544, 80, "市", 584, 80, "info.jg_xa"),
    C(632, 80, "县"),
    P(24, 104, "出生日期", 96, 104, "info.date"),    P(344, 104, "婚姻状况", 424, 104, "info.yyzk"),
    P(24, 128, "政治面貌", 96, 128, "info.zzmm"),    P(320, 128, "参加党派时间", 424, 128, "info.dpsj"),
    P(24, 152, "移动电话", 96, 152, "info.tel_mob"),

    H(20, 182, "文化程度"),
    P(21, 208, "最高学历", 125, 208, "wycd.zgxl"),   P(365, 208, "最高学历专业", 477, 208, "wycd.zgxlzy"),
    P(21, 232, "获得最高学历", 125, 240, "wycd.xljg"), P(365, 232, "获得最高学位", 477, 240, "wycd.xwjg"),
    C(21, 256, "的院校和机构"),                      C(365, 256, "的院校和机构"),
    P(21, 280, "最高学位", 125, 280, "wycd.zgxw"),   P(365, 280, "第一学历", 477, 280, "wycd.dyxl"),
    P(21, 304, "第一学历专业", 125, 304, "wycd.dyxlzy"), P(365, 304, "普通话等级 ", 477, 304, "wycd.pthdj"),

    H(23, 329, "其他个人信息"),
    P(29, 352, "电话", 133, 352, "other_info.tel"),  P(365, 344, "邮编", 469, 344, "other_info.yb"),
    P(29, 376, "宗教信仰", 133, 376, "other_info.zjxy"), P(365, 368, "电子信箱", 469, 368, "other_info.email"),
    P(29, 400, "住址", 133, 400, "other_info.address"), P(365, 392, "配偶姓名", 469, 392, "other_info.pexm"),
    P(29, 424, "配偶工作单位", 133, 424, "other_info.pedw"), P(365, 416, "社会兼职", 469, 416, "other_info.shjz"),
    P(29, 448, "学术团体兼职", 133, 448, "other_info.xsttjz"),

    H(266, 467, "教职工工作情况表"),
    H(18, 491, "工作调动情况"),
    P(21, 514, "参加工作年月", 125, 514, "gzdd.year"), P(365, 512, "工龄", 469, 512, "gzdd.gn"),
    P(21, 538, "从教年月", 125, 538, "gzdd.cjny"),   P(365, 536, "教龄", 469, 536, "gzdd.jn"),
    P(21, 562, "进校时间", 125, 562, "gzdd.jxsj"),   P(365, 560, "进校方式", 469, 560, "gzdd.jxfs"),
    P(21, 586, "来源地区", 125, 586, "gzdd.ly_shen"), P(181, 586, "省", 205, 586, "gzdd.ly_shi"),
    C(253, 586, "市"),                               P(365, 584, "来源地区类别", 469, 584, "gzdd.ly_lb"),

    H(23, 615, "岗位信息"),
    P(21, 642, "岗位资格证书", 125, 656, "gwxx.gwzgzs"), P(365, 640, "证书编号", 469, 640, "gwxx.zsbh"),
    P(21, 666, "证书颁发日期", 125, 680, "gwxx.zszq"), P(365, 664, "资格认定机构", 469, 664, "gwxx.zgjg"),

    H(23, 688, "任教情况"),
    P(21, 714, "任教学科", 125, 714, "rjxx.rjxk"),   P(365, 712, "周平均课时数", 469, 712, "rjxx.kss"),

    H(206, 737, "教职工职务职称与工资福利表"),
    H(18, 757, "行政职务情况"),
    P(21, 783, "行政职务", 125, 783, "xzzwqk.xzzw"), P(365, 781, "任职年月", 469, 781, "xzzwqk.rzny"),
    H(18, 813, "党内职务情况"),
    P(21, 839, "党内职务", 125, 839, "dnzwqk.dnzw"), P(365, 837, "任职年月", 469, 837, "dnzwqk.rzny_dn"),
    H(13, 869, "专业技术职称情况"),
    P(21, 895, "专业技术职务1", 133, 895, "zyjs.zyjszc"), P(365, 893, "取得时间", 469, 893, "zyjs.sj"),
    H(13, 925, "工人技术等级情况"),
    P(21, 951, "工人技术等级", 133, 951, "grjs.grjsdj"), P(365, 949, "取得时间", 469, 949, "grjs.sj_gr"),
};
// clang-format on

// The title band over the detail band; together they fill the page.
constexpr double kTitleHeight = 40;
constexpr double kTitleY = 10;
constexpr double kDetailHeight = 1003;

}  // namespace

Sheet::Sheet(QObject* parent) : QObject(parent) {
  for (const QString& table : kTables) {
    auto* dataset = new RemoteDataset(QStringLiteral("DataSetProvider_") + table, this);
    dataset->setObjectName(table);
    datasets_.append(dataset);
  }
  Text title = fixedText(0, kTitleY, QStringLiteral("教职工基本信息表"), Face::Heading);
  title.centred = true;
  report_.title = {kTitleHeight, {title}};
  report_.detail.height = kDetailHeight;
  for (const Item& item : kItems) {
    report_.detail.texts.append(fixedText(item.x, item.y, QString::fromUtf8(item.text), item.face));
    if (!item.value) continue;
    const QStringList value = QString::fromLatin1(item.value).split(u'.');
    report_.detail.texts.append(
        boundText(item.valueX, item.valueY, datasets_[kTables.indexOf(value[0])], value[1]));
  }
}

bool Sheet::load(const QString& personId, const MessageSink& message) {
  close();
  for (RemoteDataset* dataset : datasets_) {
    dataset->setPersonKey(personId);
    dataset->open();
    if (locatePerson(*dataset, personId)) continue;
    dataset->close();
    message(dataset->objectName() + QStringLiteral("信息不存在，请联系相关负责人!"));
    if (dataset->objectName() != kGoesOn) return false;
  }
  return true;
}

bool Sheet::foundPerson() const {
  // Loading leaves open only the datasets positioned on the person's row.
  return std::any_of(datasets_.begin(), datasets_.end(),
                     [](const RemoteDataset* dataset) { return dataset->active(); });
}

void Sheet::close() {
  for (RemoteDataset* dataset : datasets_) dataset->close();
}

}  // namespace reports
