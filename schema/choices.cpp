#include "schema/choices.h"

namespace schema::choices {

namespace {
QStringList split(const char* items) { return QString::fromUtf8(items).split(u'|'); }
}  // namespace

const QStringList& party() {
  static const QStringList items = split(
      "中共党员|中共预备党员|共青团员|民革会员|民盟盟员|民建会员"
      "|民进会员|农工党党员|致公党党员|九三学社社员|台盟盟员"
      "|无党派民主人士|群众");
  return items;
}

const QStringList& education() {
  static const QStringList items = split(
      "博士研究生毕业|博士研究生结业|博士研究生肄业|硕士研究生毕业"
      "|硕士研究生结业|硕士研究生肄业|研究生班毕业|研究生班结业"
      "|研究生班肄业|大学本科毕业|大学本科结业|大学本科肄业"
      "|大学普通班毕业|大学专科毕业|大学专科结业|大学专科肄业"
      "|中等专科毕业|中等专科结业|中等专科肄业|职业高中毕业"
      "|职业高中结业|职业高中肄业|技工学校毕业|技工学校结业"
      "|技工学校肄业|普通高中毕业|普通高中结业|普通高中肄业|初中毕业"
      "|初中肄业|小学毕业|小学肄业|其他");
  return items;
}

const QStringList& degree() {
  static const QStringList items = split(
      "名誉博士|哲学博士学位|经济学博士学位|教育学博士学位"
      "|文学博士学位|历史学博士学位|理学博士学位|工学博士学位"
      "|农学博士学位|医学博士学位|军事学博士学位|管理学博士学位"
      "|临床医学博士专业学位|兽医博士专业学位|口腔医学博士专业学位"
      "|哲学硕士学位|经济学硕士学位|法学硕士学位|教育学硕士学位"
      "|文学硕士学位|历史学硕士学位|理学硕士学位|工学硕士学位"
      "|农学硕士学位|医学硕士学位|军事学硕士学位|管理学硕士学位"
      "|法律硕士专业学位|教育硕士专业学位|工程硕士专业学位"
      "|建筑学硕士专业学位|临床学硕士专业学位|工商管理硕士专业学位"
      "|农业推广硕士专业学位|兽医硕士专业学位|公共管理硕士专业学位"
      "|口腔医学硕士专业学位|公共卫生硕士专业学位|军事硕士专业学位"
      "|哲学学士学位|经济学学士学位|法学学士学位|教育学学士学位"
      "|文学学士学位|历史学学士学位|理学学士学位|工学学士学位"
      "|农学学士学位|医学学士学位|军事学学士学位|管理学学士学位"
      "|建筑学学士专业学位|无");
  return items;
}

const QStringList& major() {
  static const QStringList items = split(
      "数学教育|物理学教育|化学教育|地理学教育|思想政治教育|教育学"
      "|教育学类|学前教育|特殊教育|教育技术学|小学教育|艺术教育"
      "|人文教育|科学教育|学前辅导与保育|幼儿艺体教育|综合理科教育"
      "|实验管理与教学|电化教育|体育卫生教育|政史教育|政治与法律教育"
      "|舞蹈表演与教育|现代教育与实验技术|儿童教育|少儿思想教育"
      "|初等教育|综合文科教育|体育现代教育技术|青年教育|教育信息技术"
      "|体育学类|体育教育|运动训练|社会体育|运动人体科学|民族传统体育"
      "|旅游体育|体育保健康复|武术|竞技体育|武术与搏击|体育健身与保安"
      "|足球运动技术|舞蹈与健身技术|职业技术教育类|农艺教育|园艺教育"
      "|特用作物教育|林木生产教育|畜禽生产教育|水产养殖教育"
      "|应用生物教育|农业机械教育|农业建筑与环境控制教育"
      "|农产品储运与加工教育|农业经营管理教育|机械制造工艺教育"
      "|机械维修与检测技术教育|机电技术教育|电气技术教育"
      "|汽车维修工程教育|应用电子技术教育|制浆造纸工艺教育"
      "|印刷工艺教育|橡塑制品成型工艺教育|食品工艺教育|纺织工艺教育"
      "|染整工艺教育|化工工艺教育|化工分析与检测技术教育"
      "|建筑材料工程教育|建筑工程教育|服装设计与工艺教育"
      "|装潢设计与工艺教育|旅游管理与服务教育|食品营养与检验教育"
      "|烹饪与营养教育|财务会计教育|文秘教育|市场营销教育"
      "|职业技术教育管理|劳动技术教育|现代信息技术教育|文学"
      "|中国语言文学类|汉语言文学教育|英语教育|日语教育|音乐教育"
      "|美术教育|影视教育|历史学教育|计算机科学教育|应用技术教育|其他"
      "|无");
  return items;
}

const QStringList& sex() {
  static const QStringList items = split("男|女");
  return items;
}

const QStringList& marital() {
  static const QStringList items = split("未婚|已婚|离婚|丧偶|其他");
  return items;
}

const QStringList& mandarin() {
  static const QStringList items =
      split("一级甲等|一级乙等|二级甲等|二级乙等|三级甲等|三级乙等|无");
  return items;
}

const QStringList& joinWay() {
  static const QStringList items = split(
      "录用师范类应届毕业生|录用非师范类应届毕业生|录用非应届毕业生"
      "|军队复员|系统内调入|系统外调入|回国定居|其他");
  return items;
}

const QStringList& originKind() {
  static const QStringList items = split("城市|区县|乡镇|农村");
  return items;
}

const QStringList& certificate() {
  static const QStringList items = split("高级中学教师资格|会计资格证书|医生资格证书|其他|无");
  return items;
}

const QStringList& teachingSubject() {
  static const QStringList items = split(
      "高中语文|高中数学|高中外语|高中化学|高中生物|高中政治|高中历史"
      "|高中地理|高中信息技术|通用技术(高中)|艺术或音乐美术(高中)"
      "|高中体育与健康|高中研究性学习|高中社会实践|高中社区服务"
      "|其它高中课程|其他|无");
  return items;
}

const QStringList& adminPost() {
  static const QStringList items = split(
      "校长(园长)|副校长(副园长)|正校级|学校中层正职|学校中层副职"
      "|学校行政职务|单位正职|单位副职|单位中层正职|单位中层副职"
      "|其他教育机构职务|其他|无");
  return items;
}

const QStringList& partyPost() {
  static const QStringList items = split(
      "党委书记|党委副书记|党委委员|党总支副书记|党总支委员"
      "|党支部书记|党支部副书记|党支部委员|无");
  return items;
}

const QStringList& title() {
  static const QStringList items = split(
      "中小学正高级教师|中小学高级教师|中小学一级教师|中小学二级教师"
      "|中小学三级教师|未定职级");
  return items;
}

const QStringList& workerGrade() {
  static const QStringList items = split(
      "职业资格一级（高级技师）|职业资格二级（技师）"
      "|职业资格三级（高级）|职业资格五级（初级）|无");
  return items;
}

const QStringList& honour() {
  static const QStringList items = split(
      "特级教师|优秀教育工作者|优秀教师|模范教师|市级学科带头人"
      "|区县级学科带头人|优秀班主任|劳动模范|先进工作者|优秀共产党员"
      "|三八红旗手|政府特殊津贴获得者|县级骨干教师|市级骨干教师|其他");
  return items;
}

const QStringList& honourLevel() {
  static const QStringList items = split(
      "国家级|教育部|中央其他部委|省级|省级教育部门|省级其他部门"
      "|地市级|地市级教育部门|地市级其他部门|县级|县级教育部门"
      "|县级其他部门|乡镇级|学校级|国外|其他");
  return items;
}

const QStringList& gridTeachingSubject() {
  static const QStringList items = split(
      "高中语文|高中数学|高中外语|高中物理|高中化学|高中生物|高中政治"
      "|高中历史|高中地理|高中信息技术|通用技术(高中)"
      "|艺术或音乐美术(高中)|高中体育与健康|高中研究性学习"
      "|高中社会实践|高中社区服务|其它高中课程|其他|无");
  return items;
}

const QStringList& gridEducation() {
  static const QStringList items = split(
      "博士研究生毕业|博士研究生结业|博士研究生肄业|硕士研究生毕业"
      "|硕士研究生结业|硕士研究生肄业|研究生班毕业|研究生班结业"
      "|研究生班肄业|大学本科毕业|大学本科结业|大学本科肄业"
      "|大学普通班毕业|大学专科毕业|大学专科结业|大学专科肄业"
      "|中等专科毕业|中等专科结业|中等专科肄业|职业高中毕业"
      "|职业高中结业|职业高中肄业|技工学校毕业|技工学校结业"
      "|技工学校肄业|普通高中毕业|普通高中结业|普通高中肄业|初中毕业"
      "|初中肄业|小学毕业|小学肄业|其他");
  return items;
}

const QStringList& educationNote() {
  static const QStringList items =
      split("从事教育教学工作的起始学历学位|最高学历学位|其他学历学位");
  return items;
}

const QStringList& gridMajor() {
  static const QStringList items = split(
      "数学教育|物理学教育|化学教育|生物学教育|地理学教育"
      "|思想政治教育|教育学|教育学类|学前教育|特殊教育|教育技术学"
      "|小学教育|艺术教育|人文教育|科学教育|学前辅导与保育"
      "|幼儿艺体教育|综合理科教育|实验管理与教学|电化教育"
      "|体育卫生教育|政史教育|政治与法律教育|舞蹈表演与教育"
      "|现代教育与实验技术|儿童教育|少儿思想教育|初等教育"
      "|综合文科教育|体育现代教育技术|青年教育|教育信息技术|体育学类"
      "|体育教育|运动训练|社会体育|运动人体科学|民族传统体育|旅游体育"
      "|体育保健康复|武术|竞技体育|武术与搏击|体育健身与保安"
      "|足球运动技术|舞蹈与健身技术|职业技术教育类|农艺教育|园艺教育"
      "|特用作物教育|林木生产教育|畜禽生产教育|水产养殖教育"
      "|应用生物教育|农业机械教育|农业建筑与环境控制教育"
      "|农产品储运与加工教育|农业经营管理教育|机械制造工艺教育"
      "|机械维修与检测技术教育|机电技术教育|电气技术教育"
      "|汽车维修工程教育|应用电子技术教育|制浆造纸工艺教育"
      "|印刷工艺教育|橡塑制品成型工艺教育|食品工艺教育|纺织工艺教育"
      "|染整工艺教育|化工工艺教育|化工分析与检测技术教育"
      "|建筑材料工程教育|建筑工程教育|服装设计与工艺教育"
      "|装潢设计与工艺教育|旅游管理与服务教育|食品营养与检验教育"
      "|烹饪与营养教育|财务会计教育|文秘教育|市场营销教育"
      "|职业技术教育管理|劳动技术教育|现代信息技术教育|文学"
      "|中国语言文学类|汉语言文学教育|英语教育|日语教育|音乐教育"
      "|美术教育|影视教育|历史学教育|计算机科学教育|应用技术教育|其他"
      "|无");
  return items;
}

const QStringList& studyMode() {
  static const QStringList items = split("全脱产|半脱产|不脱产|全日制|夜大|函授|自学|其他");
  return items;
}

const QStringList& gridDegree() {
  static const QStringList items = split(
      "名誉博士|哲学博士学位|经济学博士学位|法学博士学位"
      "|教育学博士学位|文学博士学位|历史学博士学位|理学博士学位"
      "|工学博士学位|农学博士学位|医学博士学位|军事学博士学位"
      "|管理学博士学位|临床医学博士专业学位|兽医博士专业学位"
      "|口腔医学博士专业学位|哲学硕士学位|经济学硕士学位"
      "|法学硕士学位|教育学硕士学位|文学硕士学位|历史学硕士学位"
      "|理学硕士学位|工学硕士学位|农学硕士学位|医学硕士学位"
      "|军事学硕士学位|管理学硕士学位|法律硕士专业学位"
      "|教育硕士专业学位|工程硕士专业学位|建筑学硕士专业学位"
      "|临床学硕士专业学位|工商管理硕士专业学位|农业推广硕士专业学位"
      "|兽医硕士专业学位|公共管理硕士专业学位|口腔医学硕士专业学位"
      "|公共卫生硕士专业学位|军事硕士专业学位|哲学学士学位"
      "|经济学学士学位|法学学士学位|教育学学士学位|文学学士学位"
      "|历史学学士学位|理学学士学位|工学学士学位|农学学士学位"
      "|医学学士学位|军事学学士学位|管理学学士学位"
      "|建筑学学士专业学位|无");
  return items;
}

const QStringList& trainingLevel() {
  static const QStringList items = split("国家级|省级|市级|区县级|校本|其他|无");
  return items;
}

const QStringList& trainingForm() {
  static const QStringList items = split("网络|面授|网络和面授|送培|其他");
  return items;
}

}  // namespace schema::choices
