<?xml version="1.0" encoding="utf-8"?>
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
    <name>CAboutDlg</name>
    <message>
        <source>Адрес для писем</source>
        <translation>Email address</translation>
    </message>
    <message>
        <source>Можно выделить и скопировать</source>
        <translation>Can be selected and copied</translation>
    </message>
</context>
<context>
    <name>CGuitarCtrl</name>
    <message>
        <source>Гриф бас-гитары</source>
        <translation>Bass guitar fretboard</translation>
    </message>
    <message>
        <source>Гриф шестиструнной гитары</source>
        <translation>Six-string guitar fretboard</translation>
    </message>
    <message>
        <source>Стрелки влево и вправо — соседний лад, вверх и вниз — соседняя струна, Home — открытая струна, End — последний лад. Во время упражнения пробел или Enter играет ноту на этой струне и ладу.</source>
        <translation>Left and right arrows: the next fret; up and down: the next string; Home: the open string; End: the last fret. During an exercise, Space or Enter plays the note at this string and fret.</translation>
    </message>
    <message>
        <source>%1-я струна, открытая: %2</source>
        <translation>string %1, open: %2</translation>
    </message>
    <message>
        <source>%1-я струна, %2-й лад: %3</source>
        <translation>string %1, fret %2: %3</translation>
    </message>
    <message>
        <source> — нужно сыграть</source>
        <translation> — to play</translation>
    </message>
    <message>
        <source> — сыграна верно</source>
        <translation> — played right</translation>
    </message>
    <message>
        <source> — сыграна неверно</source>
        <translation> — played wrong</translation>
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
    <name>CPianoCtrl</name>
    <message>
        <source>Клавиатура пианино</source>
        <translation>Piano keyboard</translation>
    </message>
    <message>
        <source>88 клавиш. Стрелки влево и вправо — соседняя клавиша, вверх и вниз — на октаву, Home и End — крайние клавиши. Во время упражнения пробел или Enter играет клавишу. Вне упражнения клавиатура показывает диапазоны нот: Page Up и Page Down переходят к их границам, Shift со стрелкой двигает границу, на которой стоит фокус.</source>
        <translation>88 keys. Left and right arrows: the next key; up and down: an octave; Home and End: the outermost keys. During an exercise, Space or Enter plays the key. Outside an exercise the keyboard shows the note ranges: Page Up and Page Down go to their ends, Shift with an arrow moves the end under focus.</translation>
    </message>
    <message>
        <source>нужно сыграть</source>
        <translation>to play</translation>
    </message>
    <message>
        <source>сыграна верно</source>
        <translation>played right</translation>
    </message>
    <message>
        <source>сыграна неверно</source>
        <translation>played wrong</translation>
    </message>
    <message>
        <source>начало диапазона</source>
        <translation>start of the range</translation>
    </message>
    <message>
        <source>начало диапазона верхнего стана</source>
        <translation>start of the upper staff&apos;s range</translation>
    </message>
    <message>
        <source>начало диапазона нижнего стана</source>
        <translation>start of the lower staff&apos;s range</translation>
    </message>
    <message>
        <source>конец диапазона</source>
        <translation>end of the range</translation>
    </message>
    <message>
        <source>конец диапазона верхнего стана</source>
        <translation>end of the upper staff&apos;s range</translation>
    </message>
    <message>
        <source>конец диапазона нижнего стана</source>
        <translation>end of the lower staff&apos;s range</translation>
    </message>
    <message>
        <source>вне звучания выбранных инструментов</source>
        <translation>beyond the chosen instruments</translation>
    </message>
</context>
<context>
    <name>CStaveCtrl</name>
    <message>
        <source>Нотный стан</source>
        <translation>Stave</translation>
    </message>
    <message>
        <source>Во время упражнения показывает ноту, которую нужно сыграть, вне упражнения — границы диапазонов нот. Ключ меняется щелчком, пробелом, Enter или в меню «Конфигурация».</source>
        <translation>During an exercise it shows the note to play; outside an exercise, the ends of the note ranges. A click, Space or Enter changes the clef, as does the Configuration menu.</translation>
    </message>
    <message>
        <source>Скрипичный ключ</source>
        <translation>Treble clef</translation>
    </message>
    <message>
        <source>Басовый ключ</source>
        <translation>Bass clef</translation>
    </message>
    <message>
        <source>Альтовый ключ</source>
        <translation>Alto clef</translation>
    </message>
    <message>
        <source>Скрипичный и басовый ключи</source>
        <translation>Treble and bass clefs</translation>
    </message>
    <message>
        <source> и </source>
        <translation> and </translation>
    </message>
    <message>
        <source>верхний стан: %1</source>
        <translation>upper staff: %1</translation>
    </message>
    <message>
        <source>нижний стан: %1</source>
        <translation>lower staff: %1</translation>
    </message>
    <message>
        <source>нот нет</source>
        <translation>no notes</translation>
    </message>
    <message>
        <source>строка сыграна</source>
        <translation>line played</translation>
    </message>
    <message>
        <source>пауза</source>
        <translation>rest</translation>
    </message>
    <message>
        <source>аккорд %1</source>
        <translation>chord %1</translation>
    </message>
    <message>
        <source>%1, размер %2, нота %3 из %4: %5</source>
        <translation>%1, time %2, note %3 of %4: %5</translation>
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
    <message>
        <source>Карта нот экзамена...</source>
        <translation>Exam note map...</translation>
    </message>
    <message>
        <source>Подсказка по окну</source>
        <translation>Guide to the window</translation>
    </message>
    <message>
        <source>Начать или остановить упражнение (F5); пауза — F6</source>
        <translation>Start or stop the exercise (F5); pause: F6</translation>
    </message>
    <message>
        <source>Играть ли на этом инструменте в упражнении; вне упражнения видны все инструменты</source>
        <translation>Whether to play this instrument in the exercise; outside an exercise every instrument is shown</translation>
    </message>
    <message>
        <source>Название ноты</source>
        <translation>Note name</translation>
    </message>
    <message>
        <source>Название ноты на стане, если его показ включён в настройках, и ноты, которую нужно было сыграть, после ошибки</source>
        <translation>The name of the note on the stave when the options show it, and of the note to play after a mistake</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Время упражнения; на экзамене — сколько осталось</source>
        <translation>Time of the exercise; in an exam, the time left</translation>
    </message>
    <message>
        <source>Ноты</source>
        <translation>Notes</translation>
    </message>
    <message>
        <source>Сколько нот показано в этом упражнении</source>
        <translation>How many notes this exercise has shown</translation>
    </message>
    <message>
        <source>Ошибки</source>
        <translation>Errors</translation>
    </message>
    <message>
        <source>Сколько ошибок и их доля среди нот</source>
        <translation>How many mistakes, and their share of the notes</translation>
    </message>
    <message>
        <source>Пауза — F6 или клавиша Pause, чтобы продолжить</source>
        <translation>Paused — press F6 or the Pause key to go on</translation>
    </message>
    <message>
        <source>Экзамен окончен: время %1, нот %2, ошибок %3.</source>
        <translation>The exam is over: time %1, notes %2, errors %3.</translation>
    </message>
    <message>
        <source>Карта нот экзамена</source>
        <translation>Exam note map</translation>
    </message>
    <message>
        <source>Щелчок меняет ключ: скрипичный, басовый, альтовый, оба стана</source>
        <translation>A click changes the clef: treble, bass, alto, both staves</translation>
    </message>
    <message>
        <source>Перетащите скобки над клавишами, чтобы задать диапазон нот каждого стана</source>
        <translation>Drag the brackets above the keys to set the range of notes of each staff</translation>
    </message>
    <message>
        <source>Пьеса сыграна.</source>
        <translation>Piece played through.</translation>
    </message>
</context>
<context>
    <name>DialogOptions</name>
    <message>
        <source>Сохраняет настройки и закрывает окно; выбранные MIDI-устройства открываются сейчас</source>
        <translation>Saves the options and closes the window; the chosen MIDI devices are opened now</translation>
    </message>
    <message>
        <source>Нужная нота отмечена и звучит, что бы вы ни сыграли</source>
        <translation>The note to play is marked and sounds, whatever you play</translation>
    </message>
    <message>
        <source>Ноты без подсказки и без ограничения времени</source>
        <translation>Notes with no hint and no time limit</translation>
    </message>
    <message>
        <source>Упражнение на время: оно кончается через заданное число минут</source>
        <translation>An exercise against the clock: it ends after the set number of minutes</translation>
    </message>
    <message>
        <source>Длительность экзамена, минут</source>
        <translation>Exam length, minutes</translation>
    </message>
    <message>
        <source>От 0 до 60; стрелки вверх и вниз меняют на минуту</source>
        <translation>0 to 60; the up and down arrows change it by a minute</translation>
    </message>
    <message>
        <source>Пауза после ошибки, секунд</source>
        <translation>Pause after a mistake, seconds</translation>
    </message>
    <message>
        <source>От 0 до 180; стрелки вверх и вниз меняют на секунду</source>
        <translation>0 to 180; the up and down arrows change it by a second</translation>
    </message>
    <message>
        <source>Давать и ноты с диезами и бемолями</source>
        <translation>Also give notes with sharps and flats</translation>
    </message>
    <message>
        <source>Включить воспроизведение MIDI</source>
        <translation>Turn on MIDI playback</translation>
    </message>
    <message>
        <source>Включить ввод нот с MIDI клавиатуры</source>
        <translation>Turn on note input from a MIDI keyboard</translation>
    </message>
    <message>
        <source>Включить управление программой через MIDI</source>
        <translation>Turn on program control by MIDI</translation>
    </message>
    <message>
        <source>Клавиша Ля 0 начинает и останавливает упражнение, Ля диез 0 ставит его на паузу</source>
        <translation>The key A0 starts and stops the exercise, A sharp 0 pauses it</translation>
    </message>
    <message>
        <source>Нижний ряд букв — белые клавиши, ряд над ним — чёрные; Pause — пауза</source>
        <translation>The bottom row of letters plays the white keys, the row above it the black keys; Pause pauses</translation>
    </message>
    <message>
        <source>Прибавить минуту</source>
        <translation>One minute more</translation>
    </message>
    <message>
        <source>Убавить минуту</source>
        <translation>One minute less</translation>
    </message>
    <message>
        <source>Минуты экзамена</source>
        <translation>Exam minutes</translation>
    </message>
    <message>
        <source>Прибавить секунду</source>
        <translation>One second more</translation>
    </message>
    <message>
        <source>Убавить секунду</source>
        <translation>One second less</translation>
    </message>
    <message>
        <source>Секунды паузы после ошибки</source>
        <translation>Seconds of pause after a mistake</translation>
    </message>
    <message>
        <source>Устройство воспроизведения MIDI</source>
        <translation>MIDI playback device</translation>
    </message>
    <message>
        <source>Меняется по кнопке OK</source>
        <translation>Changes when OK is pressed</translation>
    </message>
    <message>
        <source>Инструмент</source>
        <translation>Instrument</translation>
    </message>
    <message>
        <source>Звук нот по General MIDI; меняется сразу</source>
        <translation>The General MIDI sound of the notes; changes at once</translation>
    </message>
    <message>
        <source>Устройство ввода MIDI</source>
        <translation>MIDI input device</translation>
    </message>
    <message>
        <source>Показ</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>Встроенный синтезатор Tonvero</source>
        <translation>Tonvero built-in synthesizer</translation>
    </message>
</context>
<context>
    <name>InterfaceOptions</name>
    <message>
        <source>Вид</source>
        <translation>Appearance</translation>
    </message>
    <message>
        <source>Метки, различимые без цвета (для дальтоников)</source>
        <translation>Marks that differ by shape (for colour blindness)</translation>
    </message>
    <message>
        <source>Нота, которую нужно сыграть, — точка; сыгранная верно — кольцо; сыгранная неверно — крестик</source>
        <translation>The note to play is a dot; a note played right is a ring; a note played wrong is a cross</translation>
    </message>
    <message>
        <source>Как в системе</source>
        <translation>As the system</translation>
    </message>
    <message>
        <source>Язык</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Язык меню, окон и названий нот; меняется при следующем запуске</source>
        <translation>The language of menus, windows and note names; changes at the next start</translation>
    </message>
    <message>
        <source>&amp;Язык:</source>
        <translation>&amp;Language:</translation>
    </message>
    <message>
        <source>Язык сменится при следующем запуске программы.</source>
        <translation>The language changes the next time the program starts.</translation>
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
    <message>
        <source>&amp;Статистика...</source>
        <translation>&amp;Statistics...</translation>
    </message>
    <message>
        <source>Отдельные ноты</source>
        <translation>Single notes</translation>
    </message>
    <message>
        <source>Фраза</source>
        <translation>Phrase</translation>
    </message>
    <message>
        <source>&amp;Открыть пьесу...</source>
        <translation>&amp;Open piece...</translation>
    </message>
    <message>
        <source>Пьеса</source>
        <translation>Piece</translation>
    </message>
    <message>
        <source>Что играть в пьесе...</source>
        <translation>Piece selection...</translation>
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
    <name>NoteMapView</name>
    <message>
        <source>Карта нот</source>
        <translation>Note map</translation>
    </message>
    <message>
        <source>Ответов нет</source>
        <translation>No answers</translation>
    </message>
    <message>
        <source>Ответов: %1, ошибок: %2 (%3 %)</source>
        <translation>Answers: %1, errors: %2 (%3 %)</translation>
    </message>
    <message>
        <source>Медиана времени ответа: %1 с</source>
        <translation>Median response time: %1 s</translation>
    </message>
    <message>
        <source>Верных ответов нет</source>
        <translation>No right answers</translation>
    </message>
    <message>
        <source>Нет ответов в этом ключе</source>
        <translation>No answers in this clef</translation>
    </message>
    <message>
        <source>%1, %2 ключ</source>
        <translation>%1, %2 clef</translation>
    </message>
    <message>
        <source>Доля ошибок</source>
        <translation>Error rate</translation>
    </message>
    <message>
        <source>Медиана времени ответа</source>
        <translation>Median response time</translation>
    </message>
    <message>
        <source>%1 с</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>нет данных</source>
        <translation>no data</translation>
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
    <message>
        <source>скрипичный</source>
        <translation>treble</translation>
    </message>
    <message>
        <source>басовый</source>
        <translation>bass</translation>
    </message>
    <message>
        <source>альтовый</source>
        <translation>alto</translation>
    </message>
    <message>
        <source>%1 ##</source>
        <translation>%1##</translation>
    </message>
    <message>
        <source>%1 #</source>
        <translation>%1#</translation>
    </message>
    <message>
        <source>%1 b</source>
        <translation>%1b</translation>
    </message>
    <message>
        <source>%1 bb</source>
        <translation>%1bb</translation>
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
    <message>
        <source>MIDI error</source>
        <translation>MIDI error</translation>
    </message>
    <message>
        <source>Другие настройки</source>
        <translation>More settings</translation>
    </message>
</context>
<context>
    <name>PhraseOptions</name>
    <message>
        <source>Упражнение</source>
        <translation>Exercise</translation>
    </message>
    <message>
        <source>&amp;Отдельные ноты</source>
        <translation>&amp;Single notes</translation>
    </message>
    <message>
        <source>Одна нота за другой на пустом стане</source>
        <translation>One note after another on an empty stave</translation>
    </message>
    <message>
        <source>&amp;Фраза</source>
        <translation>&amp;Phrase</translation>
    </message>
    <message>
        <source>Строка нот в тональности, с длительностями: играйте, читая вперёд</source>
        <translation>A line of notes in a key, with note values: play it, reading ahead</translation>
    </message>
    <message>
        <source>Фраза: &amp;как писать...</source>
        <translation>Phrase: &amp;how to write...</translation>
    </message>
    <message>
        <source>Уровень, такты, размер, тональности, аккорды</source>
        <translation>Level, bars, time signature, keys, chords</translation>
    </message>
    <message>
        <source>Фраза</source>
        <translation>Phrase</translation>
    </message>
    <message>
        <source>Лёгкий: шаги и терции, четверти и половинные, до одного знака при ключе.
Средний: скачки до сексты, восьмые, ноты с точкой, до трёх знаков.
Трудный: скачки до октавы, паузы, случайные знаки, до семи знаков.</source>
        <translation>Easy: steps and thirds, quarters and halves, up to one sharp or flat in the key.
Medium: leaps up to a sixth, eighths, dotted notes, up to three.
Hard: leaps up to an octave, rests, accidentals, up to seven.</translation>
    </message>
    <message>
        <source>нет, по одной ноте</source>
        <translation>none, one note at a time</translation>
    </message>
    <message>
        <source>интервалы (2 ноты)</source>
        <translation>intervals (2 notes)</translation>
    </message>
    <message>
        <source>до 3 нот</source>
        <translation>up to 3 notes</translation>
    </message>
    <message>
        <source>до 4 нот</source>
        <translation>up to 4 notes</translation>
    </message>
    <message>
        <source>С MIDI-клавиатуры аккорд берётся целиком, все ноты вместе; на экране и с клавиатуры компьютера — по одной ноте, в любом порядке</source>
        <translation>On a MIDI keyboard a chord is played whole, all its notes together; on the screen and the computer keyboard note by note, in any order</translation>
    </message>
    <message>
        <source>арпеджио, в любом порядке</source>
        <translation>as arpeggios, in any order</translation>
    </message>
    <message>
        <source>без аккордов</source>
        <translation>no chords</translation>
    </message>
    <message>
        <source>Микрофон слышит по одной ноте: аккорд играется нота за нотой, или фразы пишутся без аккордов, пока включён микрофон</source>
        <translation>The microphone hears one note at a time: a chord is played note by note, or the lines are written without chords while the microphone is on</translation>
    </message>
    <message>
        <source>&amp;Уровень:</source>
        <translation>&amp;Level:</translation>
    </message>
    <message>
        <source>&amp;Тактов в строке:</source>
        <translation>&amp;Bars in a line:</translation>
    </message>
    <message>
        <source>&amp;Размер:</source>
        <translation>&amp;Time signature:</translation>
    </message>
    <message>
        <source>&amp;Аккорды:</source>
        <translation>&amp;Chords:</translation>
    </message>
    <message>
        <source>Аккорды с &amp;микрофона:</source>
        <translation>Chords from the &amp;microphone:</translation>
    </message>
    <message>
        <source>Тональности (знаков при ключе):</source>
        <translation>Keys (sharps or flats in the key signature):</translation>
    </message>
    <message>
        <source>мажор</source>
        <translation>major</translation>
    </message>
    <message>
        <source>минор</source>
        <translation>minor</translation>
    </message>
    <message>
        <source>Новая &amp;тональность для каждой строки</source>
        <translation>A new &amp;key for every line</translation>
    </message>
    <message>
        <source>Иначе тональность выбирается из отмеченных один раз, в начале упражнения</source>
        <translation>Otherwise a key is drawn from the ticked ones once, at the start of the exercise</translation>
    </message>
    <message>
        <source>&amp;Паузы</source>
        <translation>&amp;Rests</translation>
    </message>
    <message>
        <source>Сыгранные ноты остаются (серым)</source>
        <translation>Played notes stay (in grey)</translation>
    </message>
    <message>
        <source>Если выключить, сыгранные ноты исчезают: приходится смотреть вперёд</source>
        <translation>Turned off, played notes vanish: you have to look ahead</translation>
    </message>
    <message>
        <source>П&amp;ьеса</source>
        <translation>P&amp;iece</translation>
    </message>
    <message>
        <source>Открытая пьеса, строка за строкой (Файл → Открыть пьесу...)</source>
        <translation>The open piece, line by line (File → Open piece...)</translation>
    </message>
</context>
<context>
    <name>PieceStripView</name>
    <message>
        <source>Такты пьесы</source>
        <translation>Bars of the piece</translation>
    </message>
    <message>
        <source>Такт %1</source>
        <translation>Bar %1</translation>
    </message>
    <message>
        <source>Ответов нет</source>
        <translation>No answers</translation>
    </message>
    <message>
        <source>Ответов: %1, верно: %2 (%3 %)</source>
        <translation>Answers: %1, right: %2 (%3 %)</translation>
    </message>
    <message>
        <source>Среднее время верного ответа: %1 с</source>
        <translation>Mean time of a right answer: %1 s</translation>
    </message>
    <message>
        <source>Верных ответов нет</source>
        <translation>No right answers</translation>
    </message>
    <message>
        <source>Верных ответов:</source>
        <translation>Right answers:</translation>
    </message>
    <message>
        <source>нет ответов</source>
        <translation>no answers</translation>
    </message>
    <message>
        <source>меньше %1 % верных</source>
        <translation>under %1 % right</translation>
    </message>
    <message>
        <source>Столбик под тактом: среднее время верного ответа, самый высокий — %1 с</source>
        <translation>Column under a bar: mean time of a right answer; the tallest is %1 s</translation>
    </message>
    <message>
        <source>Столбик под тактом: среднее время верного ответа</source>
        <translation>Column under a bar: mean time of a right answer</translation>
    </message>
</context>
<context>
    <name>PracticeOptions</name>
    <message>
        <source>Прогресс</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Помнить прошлые занятия</source>
        <translation>Remember past practice</translation>
    </message>
    <message>
        <source>Ноты, которые вы путали или читали медленно в прошлых упражнениях, выпадают чаще, пока вы не начнёте отвечать их верно и быстро.</source>
        <translation>Notes you missed or read slowly in past exercises come up more often until you answer them right and quickly.</translation>
    </message>
    <message>
        <source>&amp;Статистика...</source>
        <translation>&amp;Statistics...</translation>
    </message>
    <message>
        <source>Открывает окно статистики ответов</source>
        <translation>Opens the window with the statistics of your answers</translation>
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
    <message>
        <source>Настройки не сохраняются: %1. Изменения действуют до выхода из программы.</source>
        <translation>Settings are not being saved: %1. Changes last until the program ends.</translation>
    </message>
    <message>
        <source>папку «%1» не удаётся создать</source>
        <translation>the folder “%1” cannot be created</translation>
    </message>
    <message>
        <source>в папке «%1» нельзя создавать файлы (%2)</source>
        <translation>no files can be created in the folder “%1” (%2)</translation>
    </message>
    <message>
        <source>на месте файла «%1» стоит папка</source>
        <translation>a folder stands where the file “%1” should be</translation>
    </message>
    <message>
        <source>файл «%1» не читается (%2)</source>
        <translation>the file “%1” cannot be read (%2)</translation>
    </message>
    <message>
        <source>файл «%1» не удаётся записать (%2)</source>
        <translation>the file “%1” cannot be written (%2)</translation>
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
    <name>SpokenNotes</name>
    <message>
        <source>До</source>
        <translation>C</translation>
    </message>
    <message>
        <source>До диез</source>
        <translation>C sharp</translation>
    </message>
    <message>
        <source>Ре</source>
        <translation>D</translation>
    </message>
    <message>
        <source>Ре диез</source>
        <translation>D sharp</translation>
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
        <source>Фа диез</source>
        <translation>F sharp</translation>
    </message>
    <message>
        <source>Соль</source>
        <translation>G</translation>
    </message>
    <message>
        <source>Соль диез</source>
        <translation>G sharp</translation>
    </message>
    <message>
        <source>Ля</source>
        <translation>A</translation>
    </message>
    <message>
        <source>Ля диез</source>
        <translation>A sharp</translation>
    </message>
    <message>
        <source>Си</source>
        <translation>B</translation>
    </message>
    <message>
        <source>Ре бемоль</source>
        <translation>D flat</translation>
    </message>
    <message>
        <source>Ми бемоль</source>
        <translation>E flat</translation>
    </message>
    <message>
        <source>Соль бемоль</source>
        <translation>G flat</translation>
    </message>
    <message>
        <source>Ля бемоль</source>
        <translation>A flat</translation>
    </message>
    <message>
        <source>Си бемоль</source>
        <translation>B flat</translation>
    </message>
    <message>
        <source>%1 дубль-диез</source>
        <translation>%1 double sharp</translation>
    </message>
    <message>
        <source>%1 диез</source>
        <translation>%1 sharp</translation>
    </message>
    <message>
        <source>%1 бемоль</source>
        <translation>%1 flat</translation>
    </message>
    <message>
        <source>%1 дубль-бемоль</source>
        <translation>%1 double flat</translation>
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
    <name>StatisticsDialog</name>
    <message>
        <source>подсказка</source>
        <translation>hint</translation>
    </message>
    <message>
        <source>экзамен</source>
        <translation>exam</translation>
    </message>
    <message>
        <source>тренировка</source>
        <translation>training</translation>
    </message>
    <message>
        <source>Статистика</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>неделя</source>
        <translation>week</translation>
    </message>
    <message>
        <source>месяц</source>
        <translation>month</translation>
    </message>
    <message>
        <source>год</source>
        <translation>year</translation>
    </message>
    <message>
        <source>всё время</source>
        <translation>all time</translation>
    </message>
    <message>
        <source>&amp;Период:</source>
        <translation>&amp;Period:</translation>
    </message>
    <message>
        <source>по &amp;упражнениям</source>
        <translation>by e&amp;xercise</translation>
    </message>
    <message>
        <source>по &amp;дням</source>
        <translation>by &amp;day</translation>
    </message>
    <message>
        <source>&amp;Экспорт в CSV...</source>
        <translation>&amp;Export to CSV...</translation>
    </message>
    <message>
        <source>Сохранить все ответы выбранного периода в таблицу CSV</source>
        <translation>Save every answer of the chosen period to a CSV table</translation>
    </message>
    <message>
        <source>Точность и скорость</source>
        <translation>Accuracy and speed</translation>
    </message>
    <message>
        <source>Точность, %</source>
        <translation>Accuracy, %</translation>
    </message>
    <message>
        <source>Верных нот в минуту</source>
        <translation>Right notes per minute</translation>
    </message>
    <message>
        <source>Медиана времени ответа</source>
        <translation>Median response time</translation>
    </message>
    <message>
        <source>Медиана верного ответа, с</source>
        <translation>Median right answer, s</translation>
    </message>
    <message>
        <source>точность, %</source>
        <translation>accuracy, %</translation>
    </message>
    <message>
        <source>нот в минуту</source>
        <translation>notes per minute</translation>
    </message>
    <message>
        <source>секунды</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>упражнение</source>
        <translation>exercise</translation>
    </message>
    <message>
        <source>скрипичный</source>
        <translation>treble</translation>
    </message>
    <message>
        <source>басовый</source>
        <translation>bass</translation>
    </message>
    <message>
        <source>альтовый</source>
        <translation>alto</translation>
    </message>
    <message>
        <source>скрипичный и басовый</source>
        <translation>treble and bass</translation>
    </message>
    <message>
        <source>&amp;Ключ:</source>
        <translation>&amp;Clef:</translation>
    </message>
    <message>
        <source>по доле &amp;ошибок</source>
        <translation>by &amp;error rate</translation>
    </message>
    <message>
        <source>по &amp;времени ответа</source>
        <translation>by response &amp;time</translation>
    </message>
    <message>
        <source>Цвет:</source>
        <translation>Colour:</translation>
    </message>
    <message>
        <source>Нота</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>Ключ</source>
        <translation>Clef</translation>
    </message>
    <message>
        <source>Ошибок</source>
        <translation>Errors</translation>
    </message>
    <message>
        <source>Ответов</source>
        <translation>Answers</translation>
    </message>
    <message>
        <source>Доля ошибок</source>
        <translation>Error rate</translation>
    </message>
    <message>
        <source>Чаще всего ошибки</source>
        <translation>Missed most often</translation>
    </message>
    <message>
        <source>Медиана, с</source>
        <translation>Median, s</translation>
    </message>
    <message>
        <source>Верных ответов</source>
        <translation>Right answers</translation>
    </message>
    <message>
        <source>Медленнее всего</source>
        <translation>Slowest</translation>
    </message>
    <message>
        <source>&amp;Графики</source>
        <translation>C&amp;harts</translation>
    </message>
    <message>
        <source>Карта &amp;нот</source>
        <translation>&amp;Note map</translation>
    </message>
    <message>
        <source>&amp;Закрыть</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>Сохранить ответы этого упражнения в таблицу CSV</source>
        <translation>Save the answers of this exercise to a CSV table</translation>
    </message>
    <message>
        <source>Историю упражнений не удалось прочитать: %1</source>
        <translation>The exercise history could not be read: %1</translation>
    </message>
    <message>
        <source>Упражнение %1</source>
        <translation>Exercise %1</translation>
    </message>
    <message>
        <source>%1 мин до конца</source>
        <translation>%1 min to the end</translation>
    </message>
    <message>
        <source>остановлен раньше</source>
        <translation>stopped early</translation>
    </message>
    <message>
        <source>За выбранный период ответов нет.</source>
        <translation>No answers in the chosen period.</translation>
    </message>
    <message>
        <source>В этом упражнении ответов нет.</source>
        <translation>This exercise has no answers.</translation>
    </message>
    <message>
        <source>Упражнений: %1</source>
        <translation>Exercises: %1</translation>
    </message>
    <message>
        <source>Ответов: %1</source>
        <translation>Answers: %1</translation>
    </message>
    <message>
        <source>Точность: %1 %</source>
        <translation>Accuracy: %1 %</translation>
    </message>
    <message>
        <source>Верных нот в минуту: %1</source>
        <translation>Right notes per minute: %1</translation>
    </message>
    <message>
        <source>Упражнение %1, %2</source>
        <translation>Exercise %1, %2</translation>
    </message>
    <message>
        <source>%1 мин</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>не завершено</source>
        <translation>not finished</translation>
    </message>
    <message>
        <source>Точность: %1 % (%2 из %3)</source>
        <translation>Accuracy: %1 % (%2 of %3)</translation>
    </message>
    <message>
        <source>Медиана верного ответа: %1 с</source>
        <translation>Median right answer: %1 s</translation>
    </message>
    <message>
        <source>Экспорт ответов</source>
        <translation>Export answers</translation>
    </message>
    <message>
        <source>Таблицы CSV (*.csv)</source>
        <translation>CSV tables (*.csv)</translation>
    </message>
    <message>
        <source>Сохранение...</source>
        <translation>Saving...</translation>
    </message>
    <message>
        <source>Ответы сохранены в %1</source>
        <translation>Answers saved to %1</translation>
    </message>
    <message>
        <source>Не удалось сохранить %1: %2</source>
        <translation>Could not save %1: %2</translation>
    </message>
    <message>
        <source>Вид статистики</source>
        <translation>Statistics view</translation>
    </message>
    <message>
        <source>За выбранный период ответов нет: графикам нечего показать.</source>
        <translation>No answers in the chosen period: the charts have nothing to show.</translation>
    </message>
    <message>
        <source>Постоянная &amp;шкала</source>
        <translation>&amp;Fixed scale</translation>
    </message>
    <message>
        <source>Шкала цвета от 0 до 50 % ошибок или от 0 до 5 с, а не по самой трудной ноте: небольшая разница не выглядит большой</source>
        <translation>Colour scale from 0 to 50 % errors or from 0 to 5 s rather than up to the hardest note, so small differences do not look large</translation>
    </message>
    <message>
        <source>Нечего экспортировать: за выбранный период ответов нет.</source>
        <translation>Nothing to export: no answers in the chosen period.</translation>
    </message>
    <message>
        <source>Уд&amp;алить это упражнение...</source>
        <translation>De&amp;lete this exercise...</translation>
    </message>
    <message>
        <source>Уд&amp;алить упражнение...</source>
        <translation>De&amp;lete an exercise...</translation>
    </message>
    <message>
        <source>Убрать из истории одно неудачное упражнение со всеми его ответами</source>
        <translation>Remove one spoiled exercise with all its answers from the history</translation>
    </message>
    <message>
        <source>Удалить всю &amp;историю...</source>
        <translation>Delete &amp;all history...</translation>
    </message>
    <message>
        <source>Убрать из истории все упражнения и ответы</source>
        <translation>Remove every exercise and answer from the history</translation>
    </message>
    <message>
        <source>За выбранный период упражнений нет.</source>
        <translation>No exercises in the chosen period.</translation>
    </message>
    <message>
        <source>%1 · %2 · ответов: %3</source>
        <translation>%1 · %2 · answers: %3</translation>
    </message>
    <message>
        <source>Удалить упражнение</source>
        <translation>Delete an exercise</translation>
    </message>
    <message>
        <source>&amp;Упражнение:</source>
        <translation>&amp;Exercise:</translation>
    </message>
    <message>
        <source>Удаление из истории</source>
        <translation>Delete from the history</translation>
    </message>
    <message>
        <source>Удалить упражнение %1 со всеми его ответами? Вернуть его будет нельзя.</source>
        <translation>Delete the exercise of %1 with all its answers? It cannot be brought back.</translation>
    </message>
    <message>
        <source>Удалить всю историю: все упражнения и ответы, и то, что программа помнит о трудных нотах? Вернуть её будет нельзя.</source>
        <translation>Delete the whole history: every exercise and answer, and what the program remembers about difficult notes? It cannot be brought back.</translation>
    </message>
    <message>
        <source>Не удалось удалить: %1</source>
        <translation>Could not delete: %1</translation>
    </message>
    <message>
        <source>Упражнение %1 удалено из истории.</source>
        <translation>The exercise of %1 was deleted from the history.</translation>
    </message>
    <message>
        <source>История удалена.</source>
        <translation>The history was deleted.</translation>
    </message>
    <message>
        <source>Ящик</source>
        <translation>Box</translation>
    </message>
    <message>
        <source>Что повторить</source>
        <translation>To review</translation>
    </message>
    <message>
        <source>Ноты, которые программа сейчас показывает чаще: ящик 0 — после ошибки, ящик 3 — выучена</source>
        <translation>Notes the program shows more often now: box 0 after a mistake, box 3 learned</translation>
    </message>
    <message>
        <source>Карта нот и списки</source>
        <translation>Note map and lists</translation>
    </message>
    <message>
        <source>Фразы</source>
        <translation>Phrases</translation>
    </message>
    <message>
        <source>Пьесы</source>
        <translation>Pieces</translation>
    </message>
    <message>
        <source>Отдельные ноты</source>
        <translation>Single notes</translation>
    </message>
    <message>
        <source>фразы</source>
        <translation>phrases</translation>
    </message>
    <message>
        <source>пьеса</source>
        <translation>piece</translation>
    </message>
    <message>
        <source>Все упражнения</source>
        <translation>All exercises</translation>
    </message>
    <message>
        <source>Уп&amp;ражнения:</source>
        <translation>Exe&amp;rcises:</translation>
    </message>
    <message>
        <source>Тональность</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>Верно</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>Среднее время, с</source>
        <translation>Mean time, s</translation>
    </message>
    <message>
        <source>Тональности</source>
        <translation>Keys</translation>
    </message>
    <message>
        <source>Среднее время верного ответа; ответ дольше минуты считается за минуту</source>
        <translation>The mean time of a right answer; an answer that took longer than a minute counts as one minute</translation>
    </message>
    <message>
        <source>Ответы во фразах и пьесах по тональностям, от семи бемолей до семи диезов.</source>
        <translation>Answers in phrases and pieces by key, from seven flats to seven sharps.</translation>
    </message>
    <message>
        <source>За выбранный период ответов во фразах и пьесах нет.</source>
        <translation>No answers in phrases or pieces in the chosen period.</translation>
    </message>
    <message>
        <source>&amp;Тональности</source>
        <translation>&amp;Keys</translation>
    </message>
    <message>
        <source>Пь&amp;еса:</source>
        <translation>P&amp;iece:</translation>
    </message>
    <message>
        <source>Такты пьесы</source>
        <translation>Bars of the piece</translation>
    </message>
    <message>
        <source>За выбранный период ответов в пьесах нет.</source>
        <translation>No answers in pieces in the chosen period.</translation>
    </message>
    <message>
        <source>Пьеса без названия (%1)</source>
        <translation>Untitled piece (%1)</translation>
    </message>
    <message>
        <source>%1 · ответов: %2 · %3</source>
        <translation>%1 · answers: %2 · %3</translation>
    </message>
    <message>
        <source>Пье&amp;сы</source>
        <translation>Piece&amp;s</translation>
    </message>
    <message>
        <source>Такты пьесы не удалось прочитать: %1</source>
        <translation>The bars of the piece could not be read: %1</translation>
    </message>
    <message>
        <source>Наведите указатель на такт или выберите его стрелками, чтобы увидеть его цифры.</source>
        <translation>Point at a bar, or walk to it with the arrow keys, to see its figures.</translation>
    </message>
    <message>
        <source>Тактов: %1 · ответов: %2 · верно: %3 % · последний раз %4</source>
        <translation>Bars: %1 · answers: %2 · right: %3 % · last practised %4</translation>
    </message>
</context>
<context>
    <name>Synthesizer</name>
    <message>
        <source>Звука не будет: не найдено устройство вывода звука. Упражнение идёт без звука; подключите наушники или колонки или выберите другой MIDI-выход в настройках.</source>
        <translation>No sound: no audio output device was found. The exercise goes on without sound; connect headphones or speakers, or choose another MIDI output in the options.</translation>
    </message>
    <message>
        <source>Файл звуков (SoundFont) изменили или обрезали, пока он звучал: пропавшие звуки заглушены. Перезапустите Tonvero, чтобы снова слышать все инструменты.</source>
        <translation>The soundfont file was changed or cut short while it was playing: the sounds it lost are silenced. Restart Tonvero to hear every instrument again.</translation>
    </message>
    <message>
        <source>Звука не будет: не найден ни один пригодный файл звуков (SoundFont) для встроенного синтезатора. Упражнения идут без звука; установите пакет fluid-soundfont-gm или timgm6mb-soundfont или выберите другой MIDI-выход в настройках.</source>
        <translation>There will be no sound: no usable soundfont was found for the built-in synthesizer. Exercises go on without sound; install the package fluid-soundfont-gm or timgm6mb-soundfont, or choose another MIDI output in the options.</translation>
    </message>
</context>
<context>
    <name>dialogs::MicrophoneOptions</name>
    <message>
        <source>Ввод нот с микрофона</source>
        <translation>Notes from the microphone</translation>
    </message>
    <message>
        <source>Отвечать, играя ноту на своём инструменте</source>
        <translation>Answer by playing the note on your own instrument</translation>
    </message>
    <message>
        <source>Микрофон не найден</source>
        <translation>No microphone found</translation>
    </message>
    <message>
        <source> Гц</source>
        <translation> Hz</translation>
    </message>
    <message>
        <source>как записано</source>
        <translation>as written</translation>
    </message>
    <message>
        <source>гитара/бас (на октаву ниже)</source>
        <translation>guitar/bass (an octave lower)</translation>
    </message>
    <message>
        <source>любая октава</source>
        <translation>any octave</translation>
    </message>
    <message>
        <source>Дополнительно</source>
        <translation>More</translation>
    </message>
    <message>
        <source> мс</source>
        <translation> ms</translation>
    </message>
    <message>
        <source> центов</source>
        <translation> cents</translation>
    </message>
    <message>
        <source>Нота должна звучать не меньше:</source>
        <translation>A note must sound at least:</translation>
    </message>
    <message>
        <source>Допустимое колебание высоты:</source>
        <translation>Pitch may waver by:</translation>
    </message>
    <message>
        <source>Микрофон:</source>
        <translation>Microphone:</translation>
    </message>
    <message>
        <source>Уровень:</source>
        <translation>Level:</translation>
    </message>
    <message>
        <source>Ля первой октавы:</source>
        <translation>A4 tuning:</translation>
    </message>
    <message>
        <source>Запись нот:</source>
        <translation>Notation:</translation>
    </message>
    <message>
        <source>как в системе</source>
        <translation>as the system</translation>
    </message>
    <message>
        <source>%1 (не подключён)</source>
        <translation>%1 (not connected)</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>%1  %2%3 ц</source>
        <translation>%1  %2%3 ct</translation>
    </message>
    <message>
        <source>Проверить</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>Послушать микрофон несколько секунд и сказать, что слышно</source>
        <translation>Listen to the microphone for a few seconds and tell what it hears</translation>
    </message>
    <message>
        <source>Проверка микрофона</source>
        <translation>Microphone test</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Проверка:</source>
        <translation>Test:</translation>
    </message>
    <message>
        <source>Слушаю… %1 с</source>
        <translation>Listening… %1 s</translation>
    </message>
    <message>
        <source>Слышно ноты: %1. Микрофон работает.</source>
        <translation>Notes heard: %1. The microphone works.</translation>
    </message>
    <message>
        <source>Звук слышен (громкость до %1 дБ), но ноты в нём не распознаны. Сыграйте одну ноту громче и ровнее или поднесите инструмент ближе к микрофону.</source>
        <translation>Sound was heard (up to %1 dB), but no note was recognised in it. Play a single note louder and steadier, or bring the instrument closer to the microphone.</translation>
    </message>
    <message>
        <source>Тишина: микрофон ничего не услышал. Проверьте, что выбран нужный вход и он не выключен в настройках звука, и сыграйте громче.</source>
        <translation>Silence: the microphone heard nothing. Check that the right input is chosen and not muted in the sound settings, and play louder.</translation>
    </message>
    <message>
        <source>Проверка отменена.</source>
        <translation>Test cancelled.</translation>
    </message>
</context>
<context>
    <name>dialogs::PieceOptions</name>
    <message>
        <source>Пьеса</source>
        <translation>Piece</translation>
    </message>
    <message>
        <source>&amp;Партия:</source>
        <translation>&amp;Part:</translation>
    </message>
    <message>
        <source>Рука</source>
        <translation>Hand</translation>
    </message>
    <message>
        <source>&amp;Обе</source>
        <translation>&amp;Both</translation>
    </message>
    <message>
        <source>&amp;Правая (верхний стан)</source>
        <translation>&amp;Right (upper staff)</translation>
    </message>
    <message>
        <source>&amp;Левая (нижний стан)</source>
        <translation>&amp;Left (lower staff)</translation>
    </message>
    <message>
        <source>&amp;с</source>
        <translation>&amp;from</translation>
    </message>
    <message>
        <source>п&amp;о</source>
        <translation>&amp;to</translation>
    </message>
    <message>
        <source>(всего %1)</source>
        <translation>(of %1)</translation>
    </message>
    <message>
        <source>После последнего такта начинать снова с первого</source>
        <translation>After the last bar, start again from the first</translation>
    </message>
    <message>
        <source>Такты:</source>
        <translation>Bars:</translation>
    </message>
    <message>
        <source>Часть %1</source>
        <translation>Part %1</translation>
    </message>
    <message>
        <source>Повтор&amp;ять</source>
        <translation>R&amp;epeat</translation>
    </message>
</context>
<context>
    <name>midi::MidiRouter</name>
    <message>
        <source>MIDI init Error</source>
        <translation>MIDI init Error</translation>
    </message>
    <message>
        <source>MIDI-клавиатуру «%1» не удалось открыть: %2</source>
        <translation>The MIDI keyboard “%1” could not be opened: %2</translation>
    </message>
    <message>
        <source>MIDI error</source>
        <translation>MIDI error</translation>
    </message>
    <message>
        <source>MIDI-клавиатура «%1» отключена. Упражнение продолжается; она подключится снова, когда появится.</source>
        <translation>The MIDI keyboard “%1” was unplugged. The exercise goes on; it will be connected again when it comes back.</translation>
    </message>
    <message>
        <source>MIDI-клавиатура «%1» отключена; она подключится снова, когда появится.</source>
        <translation>The MIDI keyboard “%1” was unplugged; it will be connected again when it comes back.</translation>
    </message>
    <message>
        <source>MIDI-клавиатура «%1» подключена.</source>
        <translation>The MIDI keyboard “%1” is connected.</translation>
    </message>
    <message>
        <source>An illegal MIDI short message was received.</source>
        <translation>An illegal MIDI short message was received.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>MIDI-синтезатор «%1» отключён.</source>
        <translation>The MIDI synthesizer “%1” was unplugged.</translation>
    </message>
    <message>
        <source>MIDI-синтезатор «%1» отключён. До конца упражнения звучит встроенный синтезатор.</source>
        <translation>The MIDI synthesizer “%1” was unplugged. The built-in synthesizer plays until the end of the exercise.</translation>
    </message>
    <message>
        <source>MIDI-синтезатор «%1» отключён. Упражнение продолжается без звука.</source>
        <translation>The MIDI synthesizer “%1” was unplugged. The exercise goes on without sound.</translation>
    </message>
</context>
<context>
    <name>pitch</name>
    <message>
        <source>распознавание нот недоступно: %1</source>
        <translation>note detection is not available: %1</translation>
    </message>
    <message>
        <source>%1: --transpose ждёт целое число полутонов от -48 до 48, а не «%2»
</source>
        <translation>%1: --transpose takes a whole number of semitones from -48 to 48, not “%2”
</translation>
    </message>
    <message>
        <source>%1: неизвестный параметр %2
</source>
        <translation>%1: unknown option %2
</translation>
    </message>
    <message>
        <source>%1: можно проверить только один файл за раз
</source>
        <translation>%1: only one file can be checked at a time
</translation>
    </message>
    <message>
        <source>%1: %2: %3
</source>
        <translation>%1: %2: %3
</translation>
    </message>
    <message>
        <source>%1: %2
</source>
        <translation>%1: %2
</translation>
    </message>
    <message>
        <source>это не файл WAV (нет заголовка RIFF)</source>
        <translation>not a WAV file (no RIFF header)</translation>
    </message>
    <message>
        <source>файл RIFF не содержит звука WAVE</source>
        <translation>the RIFF file holds no WAVE sound</translation>
    </message>
    <message>
        <source>в файле нет описания формата (блок fmt)</source>
        <translation>the file has no format description (fmt chunk)</translation>
    </message>
    <message>
        <source>описание формата (блок fmt) обрезано</source>
        <translation>the format description (fmt chunk) is cut short</translation>
    </message>
    <message>
        <source>в файле нет звука (блок data)</source>
        <translation>the file has no sound (data chunk)</translation>
    </message>
    <message>
        <source>описание формата WAVE_FORMAT_EXTENSIBLE обрезано</source>
        <translation>the WAVE_FORMAT_EXTENSIBLE description is cut short</translation>
    </message>
    <message>
        <source>формат звука %1 не поддерживается: нужен PCM или float</source>
        <translation>sound format %1 is not supported: PCM or float is needed</translation>
    </message>
    <message>
        <source>недопустимое число каналов: %1</source>
        <translation>invalid number of channels: %1</translation>
    </message>
    <message>
        <source>частота дискретизации %1 Гц не поддерживается (нужна от %2 до %3 Гц)</source>
        <translation>a sample rate of %1 Hz is not supported (%2 to %3 Hz is needed)</translation>
    </message>
    <message>
        <source>разрядность %1 бит не поддерживается</source>
        <translation>samples of %1 bits are not supported</translation>
    </message>
    <message>
        <source>размер кадра (%1 байт) не соответствует формату</source>
        <translation>the frame size (%1 bytes) does not match the format</translation>
    </message>
    <message>
        <source>не удаётся открыть файл: %1</source>
        <translation>cannot open the file: %1</translation>
    </message>
    <message>
        <source>не удаётся прочитать файл: %1</source>
        <translation>cannot read the file: %1</translation>
    </message>
    <message>
        <source>Использование: %1 ФАЙЛ.wav [--transpose N]
Находит ноты в записи и печатает по строке на ноту: начало ноты в миллисекундах
и номер ноты MIDI (60 = до первой октавы).
  --transpose N  прибавить N полутонов к каждой ноте (от -48 до 48),
                 например 12 для гитары и баса, которые пишутся на октаву выше звучания
  -h, --help     показать эту справку
Поддерживаются файлы WAV: PCM 8, 16, 24, 32 бит и float 32, 64 бит, моно и стерео,
частота от 8000 до 192000 Гц, длина до %2 мин.
</source>
        <translation>Usage: %1 FILE.wav [--transpose N]
Finds the notes in a recording and prints one line per note: the note&apos;s start in milliseconds
and its MIDI note number (60 = middle C).
  --transpose N  add N semitones to every note (-48 to 48),
                 e.g. 12 for guitar and bass, which are written an octave above their sound
  -h, --help     show this help
WAV files with PCM of 8, 16, 24, 32 bits or float of 32, 64 bits, mono or stereo,
at 8000 to 192000 Hz, up to %2 min long, are read.
</translation>
    </message>
    <message>
        <source>запись длиннее %1 мин: проверьте её по частям</source>
        <translation>the recording is longer than %1 min: check it in parts</translation>
    </message>
    <message>
        <source>перед звуком слишком много других данных</source>
        <translation>too much other data before the sound</translation>
    </message>
    <message>
        <source>формат звука WAVE_FORMAT_EXTENSIBLE с неизвестным подформатом не поддерживается</source>
        <translation>WAVE_FORMAT_EXTENSIBLE with an unknown subformat is not supported</translation>
    </message>
</context>
<context>
    <name>platform::AudioError</name>
    <message>
        <source>Микрофон недоступен: не установлена библиотека звукового сервера. Установите пакет libpulse0.</source>
        <translation>The microphone is unavailable: the sound server&apos;s client library is not installed. Install the package libpulse0.</translation>
    </message>
    <message>
        <source>Микрофон недоступен: звуковой сервер (PulseAudio или PipeWire) не запущен или не отвечает. Запустите его или войдите в сеанс рабочего стола заново.</source>
        <translation>The microphone is unavailable: the sound server (PulseAudio or PipeWire) is not running or does not answer. Start it, or log out of the desktop and in again.</translation>
    </message>
    <message>
        <source>Микрофон не найден: к компьютеру не подключено устройство ввода звука или выбранное отключено. Подключите микрофон и выберите его в настройках, в разделе «Ввод нот с микрофона».</source>
        <translation>No microphone found: no sound input device is connected, or the chosen one was unplugged. Connect a microphone and choose it in the options, under “Notes from the microphone”.</translation>
    </message>
    <message>
        <source>Нет доступа к микрофону: звуковой сервер не разрешает запись. Разрешите доступ к микрофону в настройках конфиденциальности рабочего стола и запускайте Tonvero от своего имени, а не от имени другого пользователя.</source>
        <translation>No access to the microphone: the sound server does not allow recording. Allow access to the microphone in the desktop&apos;s privacy settings, and start Tonvero as yourself, not as another user.</translation>
    </message>
    <message>
        <source>Распознавание нот недоступно: не удалось загрузить библиотеку aubio. Установите пакет libaubio5.</source>
        <translation>Note detection is unavailable: the aubio library could not be loaded. Install the package libaubio5.</translation>
    </message>
    <message>
        <source>Микрофон не удалось открыть. Проверьте, что он подключён и что запись звука работает в других программах.</source>
        <translation>The microphone could not be opened. Check that it is connected and that recording works in other programs.</translation>
    </message>
    <message>
        <source>%1 Ответ звуковой системы: %2.</source>
        <translation>%1 The sound system said: %2.</translation>
    </message>
</context>
<context>
    <name>tonvero::MicrophoneAnswers</name>
    <message>
        <source>%1 Упражнение продолжается с другими инструментами.</source>
        <translation>%1 The exercise goes on with the other instruments.</translation>
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
            <numerusform>(%n more notice)</numerusform>
            <numerusform>(%n more notices)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>tonvero::PieceOpener</name>
    <message>
        <source>Ах, скажу я вам, мама (Twinkle, Twinkle)</source>
        <translation>Twinkle, Twinkle, Little Star (Ah! vous dirai-je, maman)</translation>
    </message>
    <message>
        <source>Братец Яков</source>
        <translation>Frère Jacques</translation>
    </message>
    <message>
        <source>Во поле берёза стояла</source>
        <translation>In the Field a Birch Tree Stood</translation>
    </message>
    <message>
        <source>Ода к радости (Бетховен)</source>
        <translation>Ode to Joy (Beethoven)</translation>
    </message>
    <message>
        <source>Зелёные рукава</source>
        <translation>Greensleeves</translation>
    </message>
    <message>
        <source>При лунном свете (для двух рук)</source>
        <translation>Au clair de la lune (two hands)</translation>
    </message>
    <message>
        <source>Открыть пьесу</source>
        <translation>Open piece</translation>
    </message>
    <message>
        <source>&amp;Недавние пьесы</source>
        <translation>&amp;Recent pieces</translation>
    </message>
    <message>
        <source>П&amp;ьесы для начала</source>
        <translation>&amp;Pieces to start with</translation>
    </message>
    <message>
        <source>(пусто)</source>
        <translation>(empty)</translation>
    </message>
    <message>
        <source>(не установлены)</source>
        <translation>(not installed)</translation>
    </message>
    <message>
        <source>Файла пьесы больше нет:
%1

Он убран из списка недавних пьес.</source>
        <translation>The piece&apos;s file is gone:
%1

It has been taken off the list of recent pieces.</translation>
    </message>
    <message>
        <source>В ней нет ни одной ноты.</source>
        <translation>It has no notes.</translation>
    </message>
    <message>
        <source>Не удалось открыть пьесу
%1

%2</source>
        <translation>Could not open the piece
%1

%2</translation>
    </message>
    <message>
        <source>Пьеса не выбрана, упражнение — отдельные ноты.</source>
        <translation>No piece is chosen; the exercise is single notes.</translation>
    </message>
    <message>
        <source>Последнюю пьесу (%1) не удалось открыть, упражнение — отдельные ноты. %2</source>
        <translation>The last piece (%1) could not be opened; the exercise is single notes. %2</translation>
    </message>
</context>
<context>
    <name>tonvero::history::HistoryStore</name>
    <message>
        <source>Файл истории упражнений %1 записан более новой версией Tonvero. Он оставлен как есть, и ответы этого запуска не сохраняются.</source>
        <translation>The exercise history file %1 was written by a newer version of Tonvero. It is left as it is, and the answers of this run are not kept.</translation>
    </message>
    <message>
        <source>Историю упражнений не удалось открыть (%1). Ответы пока хранятся в памяти; попытка повторится позже.</source>
        <translation>The exercise history could not be opened (%1). Answers are kept in memory for now; it will be tried again later.</translation>
    </message>
    <message>
        <source>Историю упражнений не удаётся записать (%1). Ответы пока хранятся в памяти; попытка повторится позже.</source>
        <translation>The exercise history cannot be written (%1). Answers are kept in memory for now; it will be tried again later.</translation>
    </message>
    <message>
        <source>файл записан более новой версией Tonvero и остаётся как есть</source>
        <translation>the file was written by a newer Tonvero and is left as it is</translation>
    </message>
    <message>
        <source>файл истории не открывается</source>
        <translation>the history file cannot be opened</translation>
    </message>
    <message>
        <source>Файл истории упражнений повреждён. Он сохранён как %1 (прежние ответы можно прочитать в нём), начата новая история.</source>
        <translation>The exercise history file is damaged. It has been kept as %1 (the earlier answers can still be read in it), and a new history begun.</translation>
    </message>
    <message>
        <source>Ответы прошлого запуска, которые тогда не удалось записать (%1), взяты из %2 и добавлены в историю упражнений.</source>
        <translation>Answers of an earlier run that could not be written then (%1) were taken from %2 and added to the exercise history.</translation>
    </message>
    <message>
        <source>Ответы этого запуска, которые не удалось записать в историю упражнений (%1), сохранены в %2; при следующем запуске они будут добавлены в историю.</source>
        <translation>Answers of this run that could not be written to the exercise history (%1) have been kept in %2; the next start adds them to the history.</translation>
    </message>
    <message>
        <source>Ответы этого запуска (%1) не удалось записать ни в историю упражнений, ни в %2: они потеряны.</source>
        <translation>Answers of this run (%1) could be written neither to the exercise history nor to %2: they are lost.</translation>
    </message>
</context>
<context>
    <name>tonvero::music::Key</name>
    <message>
        <source>до-бемоль</source>
        <translation>C♭</translation>
    </message>
    <message>
        <source>до</source>
        <translation>C</translation>
    </message>
    <message>
        <source>до-диез</source>
        <translation>C♯</translation>
    </message>
    <message>
        <source>ре-бемоль</source>
        <translation>D♭</translation>
    </message>
    <message>
        <source>ре</source>
        <translation>D</translation>
    </message>
    <message>
        <source>ре-диез</source>
        <translation>D♯</translation>
    </message>
    <message>
        <source>ми-бемоль</source>
        <translation>E♭</translation>
    </message>
    <message>
        <source>ми</source>
        <translation>E</translation>
    </message>
    <message>
        <source>ми-диез</source>
        <translation>E♯</translation>
    </message>
    <message>
        <source>фа-бемоль</source>
        <translation>F♭</translation>
    </message>
    <message>
        <source>фа</source>
        <translation>F</translation>
    </message>
    <message>
        <source>фа-диез</source>
        <translation>F♯</translation>
    </message>
    <message>
        <source>соль-бемоль</source>
        <translation>G♭</translation>
    </message>
    <message>
        <source>соль</source>
        <translation>G</translation>
    </message>
    <message>
        <source>соль-диез</source>
        <translation>G♯</translation>
    </message>
    <message>
        <source>ля-бемоль</source>
        <translation>A♭</translation>
    </message>
    <message>
        <source>ля</source>
        <translation>A</translation>
    </message>
    <message>
        <source>ля-диез</source>
        <translation>A♯</translation>
    </message>
    <message>
        <source>си-бемоль</source>
        <translation>B♭</translation>
    </message>
    <message>
        <source>си</source>
        <translation>B</translation>
    </message>
    <message>
        <source>си-диез</source>
        <translation>B♯</translation>
    </message>
    <message>
        <source>%1 мажор</source>
        <translation>%1 major</translation>
    </message>
    <message>
        <source>%1 минор</source>
        <translation>%1 minor</translation>
    </message>
</context>
<context>
    <name>tonvero::music::Level</name>
    <message>
        <source>лёгкий</source>
        <translation>easy</translation>
    </message>
    <message>
        <source>средний</source>
        <translation>medium</translation>
    </message>
    <message>
        <source>трудный</source>
        <translation>hard</translation>
    </message>
</context>
<context>
    <name>tonvero::piece</name>
    <message>
        <source>файл не читается: %1</source>
        <translation>the file cannot be read: %1</translation>
    </message>
    <message>
        <source>файл больше %1 МиБ</source>
        <translation>the file is larger than %1 MiB</translation>
    </message>
    <message>
        <source>файла нет</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>это папка, а не файл</source>
        <translation>this is a folder, not a file</translation>
    </message>
    <message>
        <source>файл не открывается: %1</source>
        <translation>the file cannot be opened: %1</translation>
    </message>
    <message>
        <source>%1: --part ждёт номер партии от 1 до %2, а не «%3»
</source>
        <translation>%1: --part expects a part number from 1 to %2, not “%3”
</translation>
    </message>
    <message>
        <source>%1: неизвестный параметр %2
</source>
        <translation>%1: unknown option %2
</translation>
    </message>
    <message>
        <source>%1: можно проверить только один файл за раз
</source>
        <translation>%1: only one file can be checked at a time
</translation>
    </message>
    <message>
        <source>%1: %2: %3
</source>
        <translation>%1: %2: %3
</translation>
    </message>
    <message>
        <source>%1: в пьесе партий: %2, партии %3 нет
</source>
        <translation>%1: the piece has %2 part(s), there is no part %3
</translation>
    </message>
    <message>
        <source>«%1» в архиве зашифрован; сохраните пьесу без пароля</source>
        <translation>“%1” in the archive is encrypted; save the piece without a password</translation>
    </message>
    <message>
        <source>«%1» в архиве сжат неизвестным способом; сохраните пьесу заново</source>
        <translation>“%1” in the archive is compressed in an unknown way; save the piece again</translation>
    </message>
    <message>
        <source>не хватает памяти, чтобы распаковать архив</source>
        <translation>not enough memory to unpack the archive</translation>
    </message>
    <message>
        <source>архив повреждён или обрезан: «%1» не распаковывается</source>
        <translation>the archive is damaged or cut short: “%1” cannot be unpacked</translation>
    </message>
    <message>
        <source>«%1» в архиве больше %2 МиБ</source>
        <translation>“%1” in the archive is larger than %2 MiB</translation>
    </message>
    <message>
        <source>в %1 у rootfile нет full-path</source>
        <translation>a rootfile in %1 has no full-path</translation>
    </message>
    <message>
        <source>%1 — не XML: %2</source>
        <translation>%1 is not XML: %2</translation>
    </message>
    <message>
        <source>элементы вложены глубже %1 уровней</source>
        <translation>elements are nested deeper than %1 levels</translation>
    </message>
    <message>
        <source>%1 не называет файл партитуры</source>
        <translation>%1 names no score file</translation>
    </message>
    <message>
        <source>это не архив ZIP, каким должен быть сжатый MusicXML (.mxl)</source>
        <translation>this is not a ZIP archive, which compressed MusicXML (.mxl) must be</translation>
    </message>
    <message>
        <source>не хватает памяти, чтобы открыть архив</source>
        <translation>not enough memory to open the archive</translation>
    </message>
    <message>
        <source>архив обрезан или повреждён: у него нет оглавления</source>
        <translation>the archive is cut short or damaged: it has no table of contents</translation>
    </message>
    <message>
        <source>архив обрезан или повреждён: его оглавление не сходится с файлами</source>
        <translation>the archive is cut short or damaged: its table of contents does not match its files</translation>
    </message>
    <message>
        <source>в архиве больше %1 файлов</source>
        <translation>the archive holds more than %1 files</translation>
    </message>
    <message>
        <source>%1 называет «%2», а такого файла в архиве нет</source>
        <translation>%1 names “%2”, but the archive has no such file</translation>
    </message>
    <message>
        <source>в архиве нет ни %1, ни файла .musicxml или .xml</source>
        <translation>the archive has neither %1 nor a .musicxml or .xml file</translation>
    </message>
    <message>
        <source>«%1» в архиве: %2</source>
        <translation>“%1” in the archive: %2</translation>
    </message>
    <message>
        <source>Использование: %1 ФАЙЛ [--part N]
Читает пьесу (MusicXML: .musicxml, .xml, сжатый .mxl) так же, как тренажёр,
и печатает по строке на ноту,
через табуляцию: партия, нотоносец, такт (с 1), начало от начала пьесы в четвертях,
номер ноты MIDI (60 = до первой октавы), длительность в четвертях.
Длительности и начала округляются до трёх знаков после точки (0.333).
  --part N    только партия N (с 1)
  -h, --help  показать эту справку
</source>
        <translation>Usage: %1 FILE [--part N]
Reads a piece (MusicXML: .musicxml, .xml, compressed .mxl) as the trainer does
and prints one line per note,
tab-separated: part, staff, bar (from 1), onset from the start of the piece in quarter notes,
MIDI note number (60 = middle C), duration in quarter notes.
Durations and onsets are rounded to three decimals (0.333).
  --part N    only part N (from 1)
  -h, --help  show this help
</translation>
    </message>
    <message>
        <source>Этот файл не похож на пьесу: Tonvero читает MusicXML (.musicxml, .xml, .mxl) и MIDI (.mid).</source>
        <translation>This file does not look like a piece: Tonvero reads MusicXML (.musicxml, .xml, .mxl) and MIDI (.mid).</translation>
    </message>
    <message>
        <source>Файл «%1» не найден.</source>
        <translation>The file “%1” was not found.</translation>
    </message>
    <message>
        <source>Файл «%1» не открывается: %2</source>
        <translation>The file “%1” cannot be opened: %2</translation>
    </message>
    <message>
        <source>Файл «%1» слишком велик для пьесы.</source>
        <translation>The file “%1” is too large for a piece.</translation>
    </message>
    <message>
        <source>Пьесы (*.musicxml *.xml *.mxl *.mid *.midi)</source>
        <translation>Pieces (*.musicxml *.xml *.mxl *.mid *.midi)</translation>
    </message>
    <message>
        <source>MusicXML (*.musicxml *.xml *.mxl)</source>
        <translation>MusicXML (*.musicxml *.xml *.mxl)</translation>
    </message>
    <message>
        <source>MIDI (*.mid *.midi)</source>
        <translation>MIDI (*.mid *.midi)</translation>
    </message>
    <message>
        <source>Все файлы (*)</source>
        <translation>All files (*)</translation>
    </message>
</context>
<context>
    <name>tonvero::piece::MidiFileReader</name>
    <message>
        <source>файл пуст</source>
        <translation>the file is empty</translation>
    </message>
    <message>
        <source>это не файл MIDI: он не начинается с «MThd»</source>
        <translation>this is not a MIDI file: it does not begin with “MThd”</translation>
    </message>
    <message>
        <source>заголовок файла MIDI обрезан или испорчен</source>
        <translation>the MIDI file’s header is truncated or broken</translation>
    </message>
    <message>
        <source>файлы MIDI формата 2 (независимые пьесы в одном файле) не читаются; сохраните пьесу как формат 0 или 1</source>
        <translation>MIDI files of format 2 (independent pieces in one file) are not read; save the piece as format 0 or 1</translation>
    </message>
    <message>
        <source>неизвестный формат файла MIDI: %1</source>
        <translation>unknown MIDI file format: %1</translation>
    </message>
    <message>
        <source>в файле MIDI нет ни одной дорожки</source>
        <translation>the MIDI file has no tracks</translation>
    </message>
    <message>
        <source>время в файле MIDI отсчитывается кадрами SMPTE, а не долями четверти; такие файлы не читаются</source>
        <translation>the MIDI file counts time in SMPTE frames rather than parts of a quarter note; such files are not read</translation>
    </message>
    <message>
        <source>в заголовке файла MIDI четверть разделена на 0 частей</source>
        <translation>the MIDI file’s header divides a quarter note into 0 parts</translation>
    </message>
    <message>
        <source>дорожка %1 заявлена длиной %2 байт, а в файле после её начала только %3</source>
        <translation>track %1 declares %2 bytes, but only %3 follow its start in the file</translation>
    </message>
    <message>
        <source>файл MIDI обрезан: блок %1 длиннее файла</source>
        <translation>the MIDI file is truncated: chunk %1 runs past its end</translation>
    </message>
    <message>
        <source>дорожка %1 испорчена: %2</source>
        <translation>track %1 is broken: %2</translation>
    </message>
    <message>
        <source>время события обрезано</source>
        <translation>an event’s time is cut off</translation>
    </message>
    <message>
        <source>дорожка %1 слишком длинная</source>
        <translation>track %1 is too long</translation>
    </message>
    <message>
        <source>событие обрезано</source>
        <translation>an event is cut off</translation>
    </message>
    <message>
        <source>метасобытие обрезано</source>
        <translation>a meta event is cut off</translation>
    </message>
    <message>
        <source>метасобытие длиннее дорожки</source>
        <translation>a meta event runs past the track</translation>
    </message>
    <message>
        <source>в файле больше %1 смен размера</source>
        <translation>the file has more than %1 time signature changes</translation>
    </message>
    <message>
        <source>системное сообщение длиннее дорожки</source>
        <translation>a system exclusive message runs past the track</translation>
    </message>
    <message>
        <source>неизвестный байт состояния 0x%1</source>
        <translation>unknown status byte 0x%1</translation>
    </message>
    <message>
        <source>данные без байта состояния</source>
        <translation>data without a status byte</translation>
    </message>
    <message>
        <source>сообщение обрезано</source>
        <translation>a message is cut off</translation>
    </message>
    <message>
        <source>байт данных больше 127</source>
        <translation>a data byte above 127</translation>
    </message>
    <message>
        <source>в файле больше %1 нот</source>
        <translation>the file has more than %1 notes</translation>
    </message>
    <message>
        <source>в файле больше %1 событий</source>
        <translation>the file has more than %1 events</translation>
    </message>
    <message>
        <source>файл больше %1 МиБ</source>
        <translation>the file is larger than %1 MiB</translation>
    </message>
    <message>
        <source>файл MIDI не читается</source>
        <translation>the MIDI file cannot be read</translation>
    </message>
    <message>
        <source>Фортепиано</source>
        <translation>Piano</translation>
    </message>
    <message>
        <source>Канал %1</source>
        <translation>Channel %1</translation>
    </message>
    <message>
        <source>в файле MIDI нет нот (ударные не в счёт)</source>
        <translation>the MIDI file has no notes (percussion aside)</translation>
    </message>
    <message>
        <source>больше %1 партий</source>
        <translation>more than %1 parts</translation>
    </message>
    <message>
        <source>больше %1 тактов</source>
        <translation>more than %1 bars</translation>
    </message>
</context>
<context>
    <name>tonvero::piece::Reader</name>
    <message>
        <source>строка %1: %2</source>
        <translation>line %1: %2</translation>
    </message>
    <message>
        <source>элементы вложены глубже %1 уровней</source>
        <translation>elements are nested deeper than %1 levels</translation>
    </message>
    <message>
        <source>%1 «%2» вне пределов %3…%4</source>
        <translation>%1 “%2” is outside %3…%4</translation>
    </message>
    <message>
        <source>длительность до того, как задано &lt;divisions&gt;</source>
        <translation>a duration before &lt;divisions&gt; is given</translation>
    </message>
    <message>
        <source>это не файл MusicXML: %1</source>
        <translation>this is not a MusicXML file: %1</translation>
    </message>
    <message>
        <source>это не файл MusicXML: в нём нет ни одного элемента</source>
        <translation>this is not a MusicXML file: it has no element</translation>
    </message>
    <message>
        <source>это не партитура MusicXML: корневой элемент &lt;%1&gt;</source>
        <translation>this is not a MusicXML score: the root element is &lt;%1&gt;</translation>
    </message>
    <message>
        <source>испорченный XML, строка %1, столбец %2: %3</source>
        <translation>broken XML, line %1, column %2: %3</translation>
    </message>
    <message>
        <source>в партитуре нет ни одной партии</source>
        <translation>the score has no part</translation>
    </message>
    <message>
        <source>больше %1 партий</source>
        <translation>more than %1 parts</translation>
    </message>
    <message>
        <source>больше %1 тактов</source>
        <translation>more than %1 bars</translation>
    </message>
    <message>
        <source>слишком длинный такт</source>
        <translation>a bar too long</translation>
    </message>
    <message>
        <source>размер «%1/%2» не читается</source>
        <translation>the time signature “%1/%2” cannot be read</translation>
    </message>
    <message>
        <source>ключ на несуществующем нотоносце «%1»</source>
        <translation>a clef on a staff that cannot be, “%1”</translation>
    </message>
    <message>
        <source>нота «%1» не читается</source>
        <translation>the note “%1” cannot be read</translation>
    </message>
    <message>
        <source>&lt;alter&gt; «%1» вне пределов -2…2</source>
        <translation>&lt;alter&gt; “%1” is outside -2…2</translation>
    </message>
    <message>
        <source>нота без длительности</source>
        <translation>a note without a duration</translation>
    </message>
    <message>
        <source>нота %1 вне пределов MIDI</source>
        <translation>the note %1 is outside the MIDI range</translation>
    </message>
    <message>
        <source>слишком длинная лига</source>
        <translation>a tie too long</translation>
    </message>
    <message>
        <source>больше %1 нот</source>
        <translation>more than %1 notes</translation>
    </message>
    <message>
        <source>пьеса слишком длинная</source>
        <translation>the piece is too long</translation>
    </message>
</context>
<context>
    <name>tonvero::piece::Regrouper</name>
    <message>
        <source>строка %1: %2</source>
        <translation>line %1: %2</translation>
    </message>
    <message>
        <source>элементы вложены глубже %1 уровней</source>
        <translation>elements are nested deeper than %1 levels</translation>
    </message>
    <message>
        <source>больше %1 партий</source>
        <translation>more than %1 parts</translation>
    </message>
    <message>
        <source>партитура по партиям вышла бы больше %1 МиБ</source>
        <translation>regrouped by parts, the score would be larger than %1 MiB</translation>
    </message>
    <message>
        <source>испорченный XML, строка %1, столбец %2: %3</source>
        <translation>broken XML, line %1, column %2: %3</translation>
    </message>
</context>
</TS>
