#include "mainwindow/widget.h"

void Widget::onKey1() { onKeyChanged(1); }
void Widget::onKey2() { onKeyChanged(2); }
void Widget::onKey3() { onKeyChanged(3); }
void Widget::onKey4() { onKeyChanged(4); }
void Widget::onKey5() { onKeyChanged(5); }
void Widget::onKey6() { onKeyChanged(6); }
void Widget::onKey7() { onKeyChanged(7); }
void Widget::onKey8() { onKeyChanged(8); }
void Widget::onKey11() { onKeyChanged(11); }
void Widget::onKey12() { onKeyChanged(12); }
void Widget::onKey13() { onKeyChanged(13); }
void Widget::onKey14() { onKeyChanged(14); }
void Widget::onKey15() { onKeyChanged(15); }
void Widget::onKey16() { onKeyChanged(16); }
void Widget::onKey17() { onKeyChanged(17); }
void Widget::onKey18() { onKeyChanged(18); }
void Widget::onKey21() { onKeyChanged(21); }
void Widget::onKey22() { onKeyChanged(22); }
void Widget::onKey23() { onKeyChanged(23); }
void Widget::onKey24() { onKeyChanged(24); }
void Widget::onKey25() { onKeyChanged(25); }
void Widget::onKey26() { onKeyChanged(26); }
void Widget::onKey27() { onKeyChanged(27); }
void Widget::onKey28() { onKeyChanged(28); }
void Widget::onKey31() { onKeyChanged(31); }
void Widget::onKey32() { onKeyChanged(32); }
void Widget::onKey33() { onKeyChanged(33); }
void Widget::onKey34() { onKeyChanged(34); }
void Widget::onKey35() { onKeyChanged(35); }
void Widget::onKey36() { onKeyChanged(36); }
void Widget::onKey37() { onKeyChanged(37); }
void Widget::onKey38() { onKeyChanged(38); }
void Widget::onKey51() { onKeyChanged(51); }
void Widget::onKey52() { onKeyChanged(52); }
void Widget::onKey53() { onKeyChanged(53); }
void Widget::onKey54() { onKeyChanged(54); }
void Widget::onKey55() { onKeyChanged(55); }
void Widget::onKey56() { onKeyChanged(56); }
void Widget::onKey57() { onKeyChanged(57); }
void Widget::onKey58() { onKeyChanged(58); }
void Widget::onKey61() { onKeyChanged(61); }
void Widget::onKey62() { onKeyChanged(62); }
void Widget::onKey63() { onKeyChanged(63); }
void Widget::onKey64() { onKeyChanged(64); }
void Widget::onKey65() { onKeyChanged(65); }
void Widget::onKey66() { onKeyChanged(66); }
void Widget::onKey67() { onKeyChanged(67); }
void Widget::onKey68() { onKeyChanged(68); }

void Widget::fillKeyCombos() {}
void Widget::onKeyChanged(int) {}
void Widget::loadBlock(int) {}
void Widget::onShowKeyValue1() { loadBlock(1); }
void Widget::onShowKeyValue2() { loadBlock(2); }
