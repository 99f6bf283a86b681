<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="ru_RU">
<context>
    <name>tonvero::NoticeLine</name>
    <message numerus="yes">
        <source>(ещё уведомлений: %n)</source>
        <translation>
            <numerusform>(ещё уведомлений: %n)</numerusform><numerusform>(ещё уведомлений: %n)</numerusform><numerusform>(ещё уведомлений: %n)</numerusform></translation>
    </message>
</context>
</TS>