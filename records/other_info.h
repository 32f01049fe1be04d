#pragma once

#include "records/record_page.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// 工作情况及职务职称信息表: the second record page. Shows and writes the current person's rows
// of `gzdd`, `gwxx`, `rjxx`, `xzzwqk`, `dnzwqk`, `zyjs` and `grjs`.
class Tinfo_other : public records::RecordPage {
  Q_OBJECT

 public:
  explicit Tinfo_other(QWidget* parent = nullptr);

  // 工作调动情况 (gzdd)
  QLineEdit* Edit1;   // 参加工作年月
  QLineEdit* Edit2;   // 从教年月
  QLineEdit* Edit3;   // 进校时间
  QLineEdit* Edit4;   // 来源地区 省
  QLineEdit* Edit5;   // 工龄
  QLineEdit* Edit6;   // 教龄
  QComboBox* edit7;   // 进校方式
  QComboBox* edit8;   // 来源地区类别
  QLineEdit* Edit23;  // 来源地区 市
  // 岗位信息 (gwxx)
  QComboBox* edit9;   // 岗位资格证书
  QLineEdit* Edit10;  // 证书颁发日期
  QLineEdit* Edit11;  // 证书编号
  QLineEdit* Edit12;  // 资格认定机构
  // 任教情况 (rjxx)
  QComboBox* edit13;  // 任教学科
  QLineEdit* Edit14;  // 周平均课时数
  QLineEdit* Edit24;  // 班主任工作年限
  // 行政职务情况 (xzzwqk)
  QComboBox* edit15;  // 行政职务
  QLineEdit* Edit16;  // 任职年月
  // 党内职务情况 (dnzwqk)
  QComboBox* edit17;  // 党内职务
  QLineEdit* Edit18;  // 任职年月
  // 专业技术职称情况 (zyjs)
  QComboBox* edit19;  // 专业技术职务1
  QLineEdit* Edit20;  // 取得时间
  // 工人技术等级情况 (grjs)
  QComboBox* edit21;  // 工人技术等级
  QLineEdit* Edit22;  // 取得时间

  QPushButton* BitBtn1;  // 编辑
  QPushButton* BitBtn2;  // 保存
  QPushButton* BitBtn3;  // 上一页
  QPushButton* BitBtn4;  // 下一页 (disabled while the experience records form is not built)

  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void Edit1Exit();
  void Edit2Exit();
  void Edit3Exit();
  void Edit10Exit();
  void Edit16Exit();
  void Edit18Exit();
  void Edit20Exit();
  void Edit22Exit();

 protected:
  void FormShow() override;
  void FormClose() override;
};
