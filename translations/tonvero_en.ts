<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="ru_RU">
<context>
    <name>About</name>
    <message>
        <source>О программе Tonvero</source>
        <translation>About Tonvero</translation>
    </message>
    <message>
        <source>© Команда Tonvero</source>
        <translation>© The Tonvero team</translation>
    </message>
    <message>
        <source>Версия 3.8.1     июль 2010</source>
        <translation>Version 3.8.1     July 2010</translation>
    </message>
    <message>
        <source>Домашняя страница Tonvero</source>
        <translation>Tonvero home page</translation>
    </message>
</context>
<context>
    <name>CInstrumentCtrl</name>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>CTonveroDlg</name>
    <message>
        <source>Остановить</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Начать</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>1 Поменять</source>
        <translation>1 Change</translation>
    </message>
    <message>
        <source>2 Выбрать</source>
        <translation>2 Choose</translation>
    </message>
    <message>
        <source>3 Перетащить</source>
        <translation>3 Drag</translation>
    </message>
    <message>
        <source>4 Нажать</source>
        <translation>4 Press</translation>
    </message>
    <message>
        <source>Файл не найден:
%1</source>
        <translation>File not found:
%1</translation>
    </message>
    <message>
        <source>Не удалось открыть файл:
%1</source>
        <translation>Could not open the file:
%1</translation>
    </message>
</context>
<context>
    <name>MainMenu</name>
    <message>
        <source>&amp;Файл</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Выход</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>&amp;Конфигурация</source>
        <translation>&amp;Configuration</translation>
    </message>
    <message>
        <source>&amp;Настройки...</source>
        <translation>&amp;Options...</translation>
    </message>
    <message>
        <source>Скрипичный ключ</source>
        <translation>Treble clef</translation>
    </message>
    <message>
        <source>Альтовый ключ</source>
        <translation>Alto clef</translation>
    </message>
    <message>
        <source>Басовый ключ</source>
        <translation>Bass clef</translation>
    </message>
    <message>
        <source>Скрипичный и басовый ключи</source>
        <translation>Treble and bass clefs</translation>
    </message>
    <message>
        <source>&amp;Помощь</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Читать файл &amp;ReadMe.txt</source>
        <translation>Read the &amp;ReadMe file</translation>
    </message>
    <message>
        <source>Посетить сайт &amp;Tonvero</source>
        <translation>Visit the &amp;Tonvero website</translation>
    </message>
    <message>
        <source>&amp;О программе...</source>
        <translation>&amp;About...</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Клавиатура пианино</source>
        <translation>Piano keyboard</translation>
    </message>
    <message>
        <source>Гриф шестиструнной гитары</source>
        <translation>Six-string guitar fretboard</translation>
    </message>
    <message>
        <source>Гриф бас-гитары</source>
        <translation>Bass guitar fretboard</translation>
    </message>
    <message>
        <source>Начать</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Ноты</source>
        <translation>Notes</translation>
    </message>
    <message>
        <source>Ошибки</source>
        <translation>Errors</translation>
    </message>
</context>
<context>
    <name>NoteNames</name>
    <message>
        <source>До</source>
        <translation>C</translation>
    </message>
    <message>
        <source>До #</source>
        <translation>C#</translation>
    </message>
    <message>
        <source>Ре</source>
        <translation>D</translation>
    </message>
    <message>
        <source>Ре #</source>
        <translation>D#</translation>
    </message>
    <message>
        <source>Ми</source>
        <translation>E</translation>
    </message>
    <message>
        <source>Фа</source>
        <translation>F</translation>
    </message>
    <message>
        <source>Фа #</source>
        <translation>F#</translation>
    </message>
    <message>
        <source>Соль</source>
        <translation>G</translation>
    </message>
    <message>
        <source>Соль #</source>
        <translation>G#</translation>
    </message>
    <message>
        <source>Ля</source>
        <translation>A</translation>
    </message>
    <message>
        <source>Ля #</source>
        <translation>A#</translation>
    </message>
    <message>
        <source>Си</source>
        <translation>B</translation>
    </message>
    <message>
        <source>Ре b</source>
        <translation>Db</translation>
    </message>
    <message>
        <source>Ми b</source>
        <translation>Eb</translation>
    </message>
    <message>
        <source>Соль b</source>
        <translation>Gb</translation>
    </message>
    <message>
        <source>Ля b</source>
        <translation>Ab</translation>
    </message>
    <message>
        <source>Си b</source>
        <translation>Bb</translation>
    </message>
</context>
<context>
    <name>Options</name>
    <message>
        <source>Настройки</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Режим работы</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>мин.</source>
        <translation>min.</translation>
    </message>
    <message>
        <source>Показывать название ноты</source>
        <translation>Show the note name</translation>
    </message>
    <message>
        <source>Звук при ошибке</source>
        <translation>Beep on a mistake</translation>
    </message>
    <message>
        <source>Показывать статистику</source>
        <translation>Show statistics</translation>
    </message>
    <message>
        <source>Ввод нот с MIDI клавиатуры</source>
        <translation>Notes from a MIDI keyboard</translation>
    </message>
    <message>
        <source>включить</source>
        <translation>on</translation>
    </message>
    <message>
        <source>Воспроизведение MIDI</source>
        <translation>MIDI playback</translation>
    </message>
    <message>
        <source>Управление программой через MIDI</source>
        <translation>Control by MIDI keys</translation>
    </message>
    <message>
        <source>Назначить клавиши</source>
        <translation>Assign keys</translation>
    </message>
    <message>
        <source>Подсказка</source>
        <translation>Hint</translation>
    </message>
    <message>
        <source>Тренировка</source>
        <translation>Training</translation>
    </message>
    <message>
        <source>Экзамен</source>
        <translation>Exam</translation>
    </message>
    <message>
        <source>Использовать #, b</source>
        <translation>Use #, b</translation>
    </message>
    <message>
        <source>Действия при ошибке</source>
        <translation>After a mistake</translation>
    </message>
    <message>
        <source>Показывать ошибочную ноту
 потом показать новую</source>
        <translation>Show the missed note,
 then a new one after</translation>
    </message>
    <message>
        <source>Показывать новую ноту только после ввода правильной ноты</source>
        <translation>Show a new note only after the right note is played</translation>
    </message>
    <message>
        <source>секунд,</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>Ввод нот с компьютерной клавиатуры</source>
        <translation>Notes from the computer keyboard</translation>
    </message>
</context>
<context>
    <name>Registry</name>
    <message>
        <source>Файл настроек «%1» повреждён (%2). Используются настройки по умолчанию; изменения не будут сохранены.</source>
        <translation>The settings file “%1” is damaged (%2). The default settings are used; changes will not be saved.</translation>
    </message>
    <message>
        <source>Файл настроек «%1» повреждён (%2) и сохранён как «%3». Программа записала на его место последние известные ей настройки.</source>
        <translation>The settings file “%1” was damaged (%2) and has been kept as “%3”. The program wrote the last settings it knew in its place.</translation>
    </message>
    <message>
        <source>Файл настроек «%1» повреждён (%2) и сохранён как «%3». Используются настройки по умолчанию.</source>
        <translation>The settings file “%1” was damaged (%2) and has been kept as “%3”. The default settings are used.</translation>
    </message>
</context>
<context>
    <name>RegistryFile</name>
    <message>
        <source>файл слишком велик</source>
        <translation>the file is too large</translation>
    </message>
    <message>
        <source>это не текстовый файл</source>
        <translation>it is not a text file</translation>
    </message>
    <message>
        <source>строка %1: испорченные символы</source>
        <translation>line %1: damaged characters</translation>
    </message>
    <message>
        <source>строка %1: испорченный символ</source>
        <translation>line %1: a damaged character</translation>
    </message>
    <message>
        <source>строка %1: файл обрывается посреди символа</source>
        <translation>line %1: the file ends in the middle of a character</translation>
    </message>
    <message>
        <source>строка %1: нет заголовка файла реестра</source>
        <translation>line %1: no registry file header</translation>
    </message>
    <message>
        <source>строка %1: неверное имя раздела</source>
        <translation>line %1: an invalid key name</translation>
    </message>
    <message>
        <source>строка %1: параметр вне раздела</source>
        <translation>line %1: a value outside any key</translation>
    </message>
    <message>
        <source>строка %1: неверная запись параметра</source>
        <translation>line %1: an invalid value entry</translation>
    </message>
    <message>
        <source>строка %1: непонятная строка</source>
        <translation>line %1: a line that cannot be read</translation>
    </message>
    <message>
        <source>строка %1: нулевой символ в тексте</source>
        <translation>line %1: a zero character in the text</translation>
    </message>
</context>
<context>
    <name>Statistics</name>
    <message>
        <source>Время	%1
Ноты	%2
Ошибки	%3</source>
        <translation>Time	%1
Notes	%2
Errors	%3</translation>
    </message>
</context>
<context>
    <name>tonvero::NoticeLine</name>
    <message>
        <source>Скрыть</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>Скрыть уведомление</source>
        <translation>Hide the notice</translation>
    </message>
    <message>
        <source>Уведомление</source>
        <translation>Notice</translation>
    </message>
    <message numerus="yes">
        <source>(ещё уведомлений: %n)</source>
        <translation>
            <numerusform>(%n more notice)</numerusform><numerusform>(%n more notices)</numerusform></translation>
    </message>
</context>
</TS>