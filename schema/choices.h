#pragma once

#include <QStringList>

// The fixed lists that the record pages offer in their editable drop-downs, in their order.
// A list only proposes values: any other text may be typed.
namespace schema::choices {

const QStringList& party();  // 政治面貌
const QStringList& education();  // 学历 (最高学历, 第一学历)
const QStringList& degree();  // 最高学位
const QStringList& major();  // 学历专业
const QStringList& sex();  // 性别
const QStringList& marital();  // 婚姻状况
const QStringList& mandarin();  // 普通话等级
const QStringList& joinWay();  // 进校方式
const QStringList& originKind();  // 来源地区类别
const QStringList& certificate();  // 岗位资格证书
const QStringList& teachingSubject();  // 任教学科 (work page)
const QStringList& adminPost();  // 行政职务
const QStringList& partyPost();  // 党内职务
const QStringList& title();  // 专业技术职称
const QStringList& workerGrade();  // 工人技术等级
const QStringList& honour();  // 称号 (grid)
const QStringList& honourLevel();  // 等级 (grid)
const QStringList& gridTeachingSubject();  // 任教学科 (grid)
const QStringList& gridEducation();  // 学历 (grid)
const QStringList& educationNote();  // 学历说明 (grid)
const QStringList& gridMajor();  // 专业 (grid)
const QStringList& studyMode();  // 学习方式 (grid)
const QStringList& gridDegree();  // 学位 (grid)
const QStringList& trainingLevel();  // 培训级别 (grid)
const QStringList& trainingForm();  // 形式 (grid)

}  // namespace schema::choices
