#pragma once

#include "records/record_page.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// 基本信息: the first record page. Shows and writes the current person's rows of `info`,
// `wycd` and `other_info`; closing it ends the program for an ordinary user (role 2), who also
// sees 变更记录: the changes to their own record.
class Tinfo_basic : public records::RecordPage {
  Q_OBJECT

 public:
  explicit Tinfo_basic(QWidget* parent = nullptr);

  // 基本信息 (info)
  QLineEdit* Edit1;   // 姓名
  QLineEdit* Edit2;   // 身份证号
  QLineEdit* Edit3;   // 民族
  QComboBox* edit4;   // 政治面貌
  QLineEdit* Edit5;   // 移动电话
  QLineEdit* Edit6;   // 曾用名
  QComboBox* edit7;   // 性别
  QLineEdit* Edit8;   // 籍贯 省
  QLineEdit* Edit9;   // 籍贯 市
  QLineEdit* Edit10;  // 籍贯 县（区）
  QComboBox* edit11;  // 婚姻状况
  QLineEdit* Edit12;  // 参加党派时间
  QLineEdit* Edit30;  // 出生日期
  // 文化程度 (wycd)
  QComboBox* edit13;  // 最高学历
  QLineEdit* Edit14;  // 获得最高学历的院校和机构
  QLineEdit* Edit15;  // 获得最高学位的院校和机构
  QComboBox* edit16;  // 最高学位
  QComboBox* edit17;  // 第一学历专业
  QComboBox* edit18;  // 最高学历专业
  QComboBox* edit19;  // 第一学历
  QComboBox* edit20;  // 普通话等级
  // 其他个人信息 (other_info)
  QLineEdit* Edit21;  // 电话
  QLineEdit* Edit22;  // 宗教信仰
  QLineEdit* Edit23;  // 住址
  QLineEdit* Edit24;  // 配偶工作单位
  QLineEdit* Edit25;  // 学术团体兼职
  QLineEdit* Edit26;  // 邮编
  QLineEdit* Edit27;  // 电子信箱
  QLineEdit* Edit28;  // 配偶姓名
  QLineEdit* Edit29;  // 社会兼职

  QPushButton* BitBtn1;  // 编辑
  QPushButton* BitBtn2;  // 保存
  QPushButton* BitBtn3;  // 下一页
  QPushButton* BitBtn4;  // 变更记录

  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void Edit12Exit();
  void Edit30Exit();
  // The user changed the marital status (typing or choosing); never run for loaded text.
  void edit11Change();

 protected:
  void FormShow() override;
  void FormClose() override;
  QString adjustStored(const QString& column, bool found, const QString& value) override;
};
