#include "demo/demo_values.h"

#include <QHash>
#include <functional>

#include "schema/choices.h"
#include "schema/values.h"

namespace demo {

namespace {

QStringList split(const char* items) { return QString::fromUtf8(items).split(u'|'); }

const QStringList& surnames() {
  static const QStringList items = split(
      "王|李|张|刘|陈|杨|黄|赵|吴|周|徐|孙|马|朱|胡|郭|何|林|罗|高|郑|梁|谢|宋|唐|许|韩|冯|邓|曹"
      "|彭|曾|肖|田|董|袁|潘|于|蒋|蔡|余|杜|叶|程|苏|魏|吕|丁|任|沈|欧阳|司马");
  return items;
}

const QStringList& givenChars() {
  static const QStringList items = split(
      "伟|芳|娜|敏|静|丽|强|磊|军|洋|勇|艳|杰|娟|涛|明|超|秀|霞|平|刚|桂|英|华|文|建|国|红|玉|兰"
      "|志|永|海|燕|林|荣|春|晓|亮|宇|辉|婷|雪|鹏|浩|鑫|琳|颖|博|晨|欣|思|佳|嘉|子|梓|梦|俊|凯|悦");
  return items;
}

struct Region {
  const char* code;
  const char* province;
  const char* city;
  const char* county;
};

const Region kRegions[] = {
    {"110101", "北京市", "北京市", "东城区"}, {"310104", "上海市", "上海市", "徐汇区"},
    {"320102", "江苏省", "南京市", "玄武区"}, {"330106", "浙江省", "杭州市", "西湖区"},
    {"370102", "山东省", "济南市", "历下区"}, {"410105", "河南省", "郑州市", "金水区"},
    {"420106", "湖北省", "武汉市", "武昌区"}, {"430104", "湖南省", "长沙市", "岳麓区"},
    {"440106", "广东省", "广州市", "天河区"}, {"510107", "四川省", "成都市", "武侯区"},
    {"610113", "陕西省", "西安市", "雁塔区"}, {"130102", "河北省", "石家庄市", "长安区"},
    {"140105", "山西省", "太原市", "小店区"}, {"210102", "辽宁省", "沈阳市", "和平区"},
    {"350102", "福建省", "福州市", "鼓楼区"}, {"360102", "江西省", "南昌市", "东湖区"},
};

const Region& regionOf(const Person& person) {
  for (const Region& r : kRegions)
    if (person.id.startsWith(QLatin1StringView(r.code))) return r;
  return kRegions[0];
}

QChar checkCharacter(const QString& first17) {
  static const int weights[] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
  int sum = 0;
  for (int i = 0; i < 17; ++i) sum += first17[i].digitValue() * weights[i];
  return QLatin1StringView("10X98765432")[sum % 11];
}

QString digits(Random& random, int count) {
  QString out;
  for (int i = 0; i < count; ++i) out += QChar(u'0' + random.between(0, 9));
  return out;
}

QString yearMonth(int year, int month) {
  return QStringLiteral("%1%2").arg(year).arg(month, 2, 10, QChar(u'0'));
}

// A year-month some years after the birth date, never past 2024.
QString yearsAfterBirth(Random& random, const Person& person, int low, int high) {
  return yearMonth(qMin(2024, person.birthYear + random.between(low, high)), random.between(1, 12));
}

using Make = std::function<QVariant(Random&, const Person&)>;

Make choice(const QStringList& (*list)()) {
  return [list](Random& random, const Person&) { return QVariant(random.pick(list())); };
}

Make oneOf(const char* items) {
  const QStringList list = split(items);
  return [list](Random& random, const Person&) { return QVariant(random.pick(list)); };
}

Make after(int low, int high) {
  return [low, high](Random& random, const Person& person) {
    return QVariant(yearsAfterBirth(random, person, low, high));
  };
}

Make number(int low, int high) {
  return [low, high](Random& random, const Person&) {
    return QVariant(QString::number(random.between(low, high)));
  };
}

Make phone() {
  return [](Random& random, const Person&) {
    return QVariant(
        QStringLiteral("1%1%2").arg(random.pick(split("3|5|8|9"))).arg(digits(random, 9)));
  };
}

Make name() {
  return [](Random& random, const Person&) { return QVariant(makeName(random)); };
}

const char* const kUniversities =
    "北京师范大学|华东师范大学|华中师范大学|东北师范大学|陕西师范大学|西南大学|南京师范大学"
    "|首都师范大学|湖南师范大学|浙江师范大学";
const char* const kEmployers =
    "市第一人民医院|市税务局|区教育局|中国银行分行|市自来水公司|区人民法院|市图书馆|个体经营";

// Rules by "table.column", then by column name.
const QHash<QString, Make>& rules() {
  static const QHash<QString, Make> all = {
      {"info.mz", oneOf("汉族|汉族|汉族|汉族|汉族|回族|满族|蒙古族|壮族|土家族")},
      {"info.date",
       [](Random&, const Person& p) { return QVariant(yearMonth(p.birthYear, p.birthMonth)); }},
      {"info.zzmm", choice(schema::choices::party)},
      {"info.tel_mob", phone()},
      {"info.zym", oneOf("无|无|无|无")},
      {"info.sex", [](Random&, const Person& p) { return QVariant(p.male ? "男" : "女"); }},
      {"info.jg_se", [](Random&, const Person& p) { return QVariant(regionOf(p).province); }},
      {"info.jg_si", [](Random&, const Person& p) { return QVariant(regionOf(p).city); }},
      {"info.jg_xa", [](Random&, const Person& p) { return QVariant(regionOf(p).county); }},
      {"info.yyzk", oneOf("已婚|已婚|已婚|未婚|离婚")},
      {"info.dpsj", after(20, 35)},
      {"zgxl", choice(schema::choices::education)},
      {"dyxl", choice(schema::choices::education)},
      {"zgxlzy", choice(schema::choices::major)},
      {"dyxlzy", choice(schema::choices::major)},
      {"xljg", oneOf(kUniversities)},
      {"xwjg", oneOf(kUniversities)},
      {"zgxw", choice(schema::choices::degree)},
      {"pthdj", choice(schema::choices::mandarin)},
      {"other_info.tel",
       [](Random& r, const Person&) { return QVariant("0" + digits(r, 3) + "-" + digits(r, 8)); }},
      {"yb",
       [](Random& r, const Person&) {
         return QVariant(QString::number(r.between(1, 8)) + digits(r, 5));
       }},
      {"zjxy", oneOf("无|无|无|无|无|佛教|基督教")},
      {"email",
       [](Random& r, const Person&) { return QVariant("t" + digits(r, 7) + "@school.edu.cn"); }},
      {"other_info.address",
       [](Random& r, const Person& p) {
         return QVariant(QStringLiteral("%1%2%3路%4号")
                             .arg(QString::fromUtf8(regionOf(p).city),
                                  QString::fromUtf8(regionOf(p).county),
                                  r.pick(split("人民|解放|建设|中山|和平|文化|学府")))
                             .arg(r.between(1, 300)));
       }},
      {"pexm", name()},
      {"pedw", oneOf(kEmployers)},
      {"shjz", oneOf("无|无|无|区政协委员|市青联委员")},
      {"xsttjz", oneOf("无|无|无|市数学学会会员|省教育学会会员")},
      {"year", after(20, 25)},
      {"gn", number(1, 40)},
      {"cjny", after(21, 26)},
      {"jn", number(1, 39)},
      {"jxsj", after(22, 40)},
      {"jxfs", choice(schema::choices::joinWay)},
      {"ly_shen", oneOf("北京市|江苏省|浙江省|山东省|河南省|湖北省|四川省")},
      {"ly_shi", oneOf("北京市|南京市|杭州市|济南市|郑州市|武汉市|成都市")},
      {"ly_lb", choice(schema::choices::originKind)},
      {"gwzgzs", choice(schema::choices::certificate)},
      {"zsbh",
       [](Random& r, const Person&) {
         return QVariant(QString::number(2000 + r.between(0, 24)) + digits(r, 10));
       }},
      {"zszq", after(22, 30)},
      {"zgjg", oneOf("市教育局|区教育局|省教育厅")},
      {"rjxx.rjxk", choice(schema::choices::teachingSubject)},
      {"kss", number(8, 20)},
      {"bzrgznx", number(0, 20)},
      {"xzzwqk.xzzw", choice(schema::choices::adminPost)},
      {"rzny", after(28, 45)},
      {"dnzw", choice(schema::choices::partyPost)},
      {"rzny_dn", after(28, 45)},
      {"zyjszc", choice(schema::choices::title)},
      {"zyjs.sj", after(24, 45)},
      {"grjsdj", choice(schema::choices::workerGrade)},
      {"sj_gr", after(24, 45)},
      {"ch", choice(schema::choices::honour)},
      {"dj", choice(schema::choices::honourLevel)},
      {"jzgjckh.rjxk", choice(schema::choices::gridTeachingSubject)},
      {"jzgjckh.sj", after(23, 45)},
      {"jzgjckh.dw", oneOf("市教育局|区教育局|省教育厅|本校")},
      {"shgx.name", name()},
      {"cw", oneOf("父亲|母亲|配偶|儿子|女儿|兄|姐|弟|妹")},
      {"zw", oneOf("无|职员|教师|工程师|医生|经理|退休")},
      {"gzdw", oneOf(kEmployers)},
      {"shgx.address", oneOf("北京市东城区|上海市徐汇区|南京市玄武区|杭州市西湖区|成都市武侯区")},
      {"shgx.tel", phone()},
      {"start_sj", after(18, 40)},
      {"end_sj", after(20, 45)},
      {"grll.dw", oneOf("本校|市第二中学|区实验小学|市教育局|县第一中学")},
      {"bm", oneOf("教务处|政教处|语文组|数学组|英语组|总务处|办公室")},
      {"grll.xzzw", choice(schema::choices::adminPost)},
      {"zwjb", oneOf("无|科级|副科级|处级|副处级")},
      {"rxny", after(6, 22)},
      {"byny", after(9, 26)},
      {"byxx", oneOf(kUniversities)},
      {"xl", choice(schema::choices::gridEducation)},
      {"xlsm", choice(schema::choices::educationNote)},
      {"zy", choice(schema::choices::gridMajor)},
      {"xxfs", choice(schema::choices::studyMode)},
      {"xw", choice(schema::choices::gridDegree)},
      {"xwsj", after(22, 30)},
      {"xwgj", oneOf("中国|中国|中国|中国|美国|英国|日本")},
      {"xwdw", oneOf(kUniversities)},
      {"xss", number(8, 120)},
      {"jb", choice(schema::choices::trainingLevel)},
      {"xs", choice(schema::choices::trainingForm)},
      {"nr", oneOf("新课程标准|班主任工作|信息技术应用|教育心理学|学科教学研究|师德师风")},
      {"jnpx.dw", oneOf("市教育学院|省教师培训中心|北京师范大学|区教师进修学校")},
      {"jwpx.dw", oneOf("剑桥大学|哥伦比亚大学|东京学艺大学|墨尔本大学")},
      {"gj", oneOf("英国|美国|日本|澳大利亚|新加坡")},
  };
  return all;
}

}  // namespace

QString makeName(Random& random) {
  QString name = random.pick(surnames());
  const int given = random.chance(70) ? 2 : 1;
  for (int i = 0; i < given; ++i) name += random.pick(givenChars());
  return name;
}

Person makePerson(Random& random, QSet<QString>& taken) {
  Person person;
  while (true) {
    person.birthYear = random.between(1960, 1999);
    person.birthMonth = random.between(1, 12);
    const int sequence = random.between(0, 999);
    person.male = sequence % 2 == 1;
    const QString first17 = QStringLiteral("%1%2%3%4%5")
                                .arg(QLatin1StringView(random.pick(kRegions).code))
                                .arg(person.birthYear)
                                .arg(person.birthMonth, 2, 10, QChar(u'0'))
                                .arg(random.between(1, 28), 2, 10, QChar(u'0'))
                                .arg(sequence, 3, 10, QChar(u'0'));
    person.id = first17 + checkCharacter(first17);
    if (!taken.contains(person.id)) break;
  }
  taken.insert(person.id);
  person.name = makeName(random);
  return person;
}

QVariant makeValue(Random& random, const Person& person, const schema::Table& table,
                   const schema::Column& column) {
  if (column.name == u"id") return person.id;
  if (column.name == u"name" && table.name == u"info") return person.name;
  const QHash<QString, Make>& all = rules();
  auto rule = all.constFind(table.name + u'.' + column.name);
  if (rule == all.end()) rule = all.constFind(column.name);
  if (rule != all.end()) return (*rule)(random, person);
  return schema::kNone;
}

}  // namespace demo
