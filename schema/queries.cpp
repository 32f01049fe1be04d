#include "schema/queries.h"

namespace schema::queries {

const QString kPersonList = QStringLiteral(
    "select distinct info.id as 身份证号,info.name as 姓名,info.sex as 性别,"
    "user_name.shr as 审核人 from info,user_name where info.id=user_name.id");

const QString kPersonLines =
    kPersonList + QStringLiteral(
                      " and info.id in (select id from info where id=?1 union all select id from"
                      " info where id>?1 and id<?1||'!' union all select id from info where"
                      " id<'!') and strim(info.id)=?1");

namespace {

const QString kPersonWhere = QStringLiteral("?");
const QString kOrder = QStringLiteral(" order by id_num");

HistoryQueries entry(const char* table, const char* display, const char* writeBack,
                     const char* report) {
  const auto text = [](const char* prefix) {
    return QString::fromUtf8(prefix) + kPersonWhere + kOrder;
  };
  return {QString::fromLatin1(table), text(display), text(writeBack), text(report)};
}

}  // namespace

const QList<HistoryQueries>& history() {
  static const QList<HistoryQueries> all = {
      entry("jzgjckh",
            "select distinct id_num as 序号,ch as 称号,dj as 等级,rjxk as 任教学科,sj as 授予时间,"
            "dw as 授予单位 from jzgjckh where id=",
            "select distinct id_num,id,ch,dj,rjxk,sj,dw from jzgjckh where id=",
            "select ch,dj,rjxk,sj,dw from jzgjckh where id="),
      entry("shgx",
            "select distinct id_num as 序号,name as 姓名,cw as 称谓,zw as 职务,gzdw as 工作单位,"
            "address as 地址,tel as 电话 from shgx where id=",
            "select distinct id_num,id,name,cw,zw,gzdw,address,tel from shgx where id=",
            "select name,cw,zw,gzdw,address,tel from shgx where id="),
      entry("grll",
            "select distinct id_num as 序号,start_sj as 起始时间,end_sj as 结束时间,dw as 所在单位,"
            "bm as 所在部门,xzzw as 行政职务,zwjb as 职务级别 from grll where id=",
            "select distinct id_num,id,start_sj,end_sj,dw,bm,xzzw,zwjb from grll where id=",
            "select start_sj,end_sj,dw,bm,xzzw,zwjb from grll where id="),
      entry("jyqk",
            "select distinct id_num as 序号, rxny as 入学年月,byny as 毕业年月,byxx as 毕业学校,"
            "xl as 学历,xlsm as 学历说明,zy as 专业,xxfs as 学习方式 ,xw as 学位 ,"
            "xwsj as 学位时间 ,xwgj as 学位授予国家 ,xwdw as 学位授予单位 from jyqk where id=",
            "select distinct id_num,id,rxny,byny,byxx,xl,xlsm,zy,xxfs,xw,xwsj,xwgj,xwdw "
            "from jyqk where id=",
            "select rxny,byny,byxx,xl,xlsm,zy,xxfs,xw,xwsj,xwgj,xwdw from jyqk where id="),
      entry("jnpx",
            "select distinct id_num as 序号, start_sj as 起始时间,end_sj as 结束时间,xss as 学时数,"
            "jb as 培训级别,xs as 形式,nr as 内容,dw as 培训单位 from jnpx where id=",
            "select distinct id_num,id,start_sj,end_sj,xss,jb,xs,nr,dw from jnpx where id=",
            "select start_sj,end_sj,xss,jb,xs,nr,dw from jnpx where id="),
      entry("jwpx",
            "select distinct id_num as 序号,start_sj as 起始时间,end_sj as 结束时间,nr as 内容,"
            "dw as 培训单位,gj as 培训国家地区 from jwpx where id=",
            "select distinct id_num,id,start_sj,end_sj,nr,dw,gj from jwpx where id=",
            "select start_sj,end_sj,nr,dw,gj from jwpx where id="),
  };
  return all;
}

const HistoryQueries& history(QStringView table) {
  for (const HistoryQueries& q : history())
    if (q.table == table) return q;
  Q_ASSERT_X(false, "schema::queries::history", "not a history table");
  return history().front();
}

const QString kPersonChanges = QStringLiteral(
    "select changed_at as 时间,changed_by as 修改人,table_name as 表,column_name as 项目,"
    "old_value as 原值,new_value as 新值,kind as 类型 from change_log where id=? "
    "order by rid desc");
const QString kPersonChangesSinceReview = QStringLiteral(
    "select changed_at as 时间,changed_by as 修改人,table_name as 表,column_name as 项目,"
    "old_value as 原值,new_value as 新值,kind as 类型 from change_log where id=? and "
    "rid>(select coalesce(max(reviewed),0) from change_summary where id=?) and kind<>'审核' "
    "order by rid desc");
const QString kChangedSinceReview =
    QStringLiteral("select id from change_summary where changed>coalesce(reviewed,0)");
const QString kPersonChangedSinceReview =
    QStringLiteral("select id from change_summary where id=? and changed>coalesce(reviewed,0)");

const QStringList& personalShapes() {
  static const QStringList shapes = [] {
    QStringList texts;
    for (const HistoryQueries& q : history()) texts << q.display << q.writeBack << q.report;
    return texts << kPersonChanges << kPersonChangesSinceReview;
  }();
  return shapes;
}

}  // namespace schema::queries
