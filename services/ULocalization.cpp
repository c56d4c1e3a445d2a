#include "services/ULocalization.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/core/CodePage.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/SysUtils.h"
#include "services/USystem.h"

namespace ond {
namespace {

// The texts as written here are UTF-8 for the sake of the reader; the table
// the program reads holds them as code page 1251, converted once. A line
// break is "\n\r" (LF CR) on purpose: it is the break the program's labels
// and message boxes understand.
struct TSourceEntry {
  std::string_view Russian;
  std::string_view English;
};

constexpr TSourceEntry EditModeSource[2] = {
    {"Вставка", "Insert"},
    {"Замена", "Overwrite"},
};

constexpr std::array<TSourceEntry, LangEntryCount> Source = {{
    {"Для загрузки конфига:\n\r"
     "• перетащите сюда файл \"@quarn.zu\"\n\r"
     "• или откройте его, выбрав в главном меню \"Файл - Открыть…\"\n\r"
     "\n\r"
     "Для быстрой загрузки конфига из игры:\n\r"
     "• выберите в главном меню \"Файл - Загрузить текущий конфиг игры\"",
     "To load a config:\n\r"
     "• Drag a file \"@quarn.zu\" here\n\r"
     "• Or open it by going to the \"File - Open...\"\n\r"
     "\n\r"
     "For quick download config from the game:\n\r"
     "• Select in the main menu \"File - Load the current config\""},
    {"Вставка", "Insert"},  // 1: see EditModeSource
    {"Изменён", "Modified"},
    {"Файл не найден", "File not found"},
    {"не найдено", "not found"},
    {"Произведено замен:", "Subs used:"},
    {"Файл", "File"},
    {"Открыть…", "Open..."},
    {"Сохранить", "Save"},
    {"Сохранить с резервной копией", "Save with backup"},
    {"Сохранить как…", "Save as..."},
    {"Сохранить копию как…", "Save as copy..."},
    {"Открыть заново", "Reopen"},
    {"Восстановить из резервной копии", "Recovery from backup"},
    {"Сохранить все", "Save all"},
    {"Сохранить все с резервной копией", "Save all with backup"},
    {"Закрыть все", "Close all"},
    {"Загрузить текущий конфиг игры", "Load the current config"},
    {"Выход", "Quit"},
    {"Правка", "Edit"},
    {"Отменить", "Undo"},
    {"Повторить", "Redo"},
    {"Вырезать", "Cut"},
    {"Копировать", "Copy"},
    {"Вставить", "Paste"},
    {"Удалить", "Delete"},
    {"Выделить все", "Select all"},
    {"Поиск", "Search"},
    {"Найти…", "Find..."},
    {"Заменить…", "Replace..."},
    {"Найти ниже", "Find down"},
    {"Найти выше", "Find up"},
    {"Вид", "View"},
    {"Редактор", "Editor"},
    {"Левое поле", "Gutter"},
    {"Показывать", "Visible"},
    {"Нумерация строк", "Line numbering"},
    {"Знак переноса строк", "Word wrap glyph"},
    {"Отмечать изменённые строки", "Mark changed lines"},
    {"Шрифт заголовков…", "Font headlines..."},
    {"Шрифт основного текста…", "Main text font..."},
    {"Перенос по словам", "Word wrap"},
    {"Показывать спецсимволы", "Display special characters"},
    {"Свободное перемещение курсора", "Free caret movement"},
    {"Дерево файлов", "Files tree"},
    {"Показывать", "Visible"},
    {"Расположение панели", "Panel location"},
    {"Справа", "Right"},
    {"Слева", "Left"},
    {"Общая прокрутка", "Main scroll"},
    {"Показывать полосу прокрутки", "Show scrollbar"},
    {"Способ включения", "Activation method"},
    {"Клавиша Shift", "Shift key"},
    {"Клавиша Ctrl", "Ctrl key"},
    {"Наведение курсора", "Cursor moving"},
    {"Подсветка синтаксиса", "Syntax Highlighting"},
    {"Нет", "None"},
    {"Схема", "Scheme"},
    {"Парные скобки", "Paired brackets"},
    {"Сворачивание кода", "Code folding"},
    {"Кодировка", "Code page"},
    {"Открыть файл в ANSI", "Open file in ANSI"},
    {"Открыть файл в Unicode", "Open file in Unicode"},
    {"Открыть файл в UTF-8", "Open file in UTF-8"},
    {"Открыть конфиг в ANSI", "Open config in ANSI"},
    {"Открыть конфиг в Unicode", "Open config in Unicode"},
    {"Открыть конфиг в UTF-8", "Open config in UTF-8"},
    {"Язык", "Language"},
    {"Свернуть редакторы", "Collapse editors"},
    {"Все", "All"},
    {"Выше активного", "Above active editor"},
    {"Ниже активного", "Below active editor"},
    {"Развернуть редакторы", "Expand editors"},
    {"Все", "All"},
    {"Выше активного", "Above active editor"},
    {"Ниже активного", "Below active editor"},
    {"Скрыть редакторы", "Hide editors"},
    {"Все", "All"},
    {"Выше активного", "Above active editor"},
    {"Ниже активного", "Below active editor"},
    {"Показать редакторы", "Show editors"},
    {"Все", "All"},
    {"Выше активного", "Above active editor"},
    {"Ниже активного", "Below active editor"},
    {"Выровнять высоту редакторов", "Align editors height"},
    {"По активному редактору", "As active editor"},
    {"По главному окну", "As main window"},
    {"Справка", "Help"},
    {"Настройки", "Settings"},
    {"Режим тестирования", "Test mod"},
    {"Автоматически проверять обновления", "Automatically check for updates"},
    {"Открывать окно во весь экран", "Opening window to fullscreen"},
    {"Запоминать параметры поиска", "Remember search options"},
    {"Восстановить настройки по умолчанию", "Restore default settings"},
    {"Проверить обновления…", "Check of updates..."},
    {"Сайт программы…", "Website..."},
    {"О программе", "About"},
    {"Поиск", "Search"},
    {"Найти:", "Search for:"},
    {"OK", "OK"},
    {"Отмена", "Cancel"},
    {" Направление: ", " Direction: "},
    {"Вниз", "Down"},
    {"Вверх", "Up"},
    {"Учитывать регистр", "Case sensitivity"},
    {"Только слова целиком", "Whole words only"},
    {"Искать от курсора", "Search from caret"},
    {"Только в выделенном", "Selected text only"},
    {"Регулярное выражение", "Regular expression"},
    {"Во всём конфиге", "Entire config"},
    {"Без скрытых файлов", "Without hidden files"},
    {"Замена", "Replace"},
    {"Заменить на:", "Replace with:"},
    {"Заменить?", "Replace the text?"},
    {"Да", "Yes"},
    {"Нет", "No"},
    {"Да для всех", "Yes to all"},
    {"Отмена", "Cancel"},
    {"Доступна новая версия программы \"XXX\". Обновить?",
     "A new version of the program available \"XXX\". Upgrade now?"},
    {"Да", "Yes"},
    {"Нет", "No"},
    {"Загружено", "Download"},
    {"Сохранить все изменения в открытом конфиге?", "Save all changes in open the config file?"},
    {"Текущие изменения будут потеряны. Продолжить?", "The current changes will be lost. Continue?"},
    {"Вы не можете сохранить копию файла под именем оригинала. Выберите другое имя.",
     "You can not save a copy of the file as the original. Select a file to a different name."},
    {"Вы используете самую последнюю версию программы. Обновление не требуется.",
     "You are using the latest version of the software. Update is not required."},
    {"Не удалось проверить обновления программы. Нет связи с сервером.",
     "The check updates is failed. No connection to the server."},
    {"Не удалось обновить программу. Нет связи с сервером или недоступен целевой каталог.",
     "The failed to upgrade the program. No connection to the server  or the target directory is not available."},
    {"Для включения режима тестирования необходима актуальная версия DebugInfo.so библиотеки. Загрузить "
     "библиотеку?",
     "To enable the testing program requires the current version DebugInfo.so. Download the library?"},
    {"Не удалось обновить библиотеку. Нет связи с сервером.",
     "Failed to update the library. No connection to the server."},
    {"Версия библиотеки на сервере не соответствует текущей версии Ondrel. Необходимо обновить программу.",
     "Version of the library on the server does not meet the version of your Ondrel. Debug mode is not enabled. "
     "Initially, you have to update the Ondrel."},
    {"Не удалось обновить библиотеку. Нет связи с сервером или недоступен целевой каталог.",
     "The failed to upgrade the library. No connection to the server  or the target directory is not available."},
}};

constexpr std::array<TSourceEntry, static_cast<int>(LangTextCount) - static_cast<int>(LangEntryCount)> MessageSource = {{
    {"символов заменено на \"?\" при чтении", "characters replaced by \"?\" when read"},
    {"Не удалось сохранить файл:", "The file could not be saved:"},
    {"Не удалось полностью прочитать конфиг:", "The config set could not be read completely:"},
    {"Не удалось сделать резервную копию файла:\n\r%s\n\r\n\rСохранить его без резервной копии?",
     "No backup could be made of the file:\n\r%s\n\r\n\rSave it without a backup?"},
    {"%s символов файла\n\r%s\n\rнет в кодовой странице 1251, они прочитаны как \"?\".\n\r"
     "При сохранении они будут записаны как \"?\" и потеряны. Всё равно сохранить?",
     "%s characters of the file\n\r%s\n\rhave no form in code page 1251 and were read as \"?\".\n\r"
     "Saving writes them as \"?\" and they are lost. Save anyway?"},
    {"Это имя носит другой файл открытого конфига:", "Another file of the open config set has this name:"},
    {"Открытие конфига: %s из %s файлов", "Opening the config set: %s of %s files"},
    {"%s байт", "%s bytes"},
    {"Файл\n\r%s\n\rизменён другой программой после того, как был прочитан.\n\r"
     "Перезаписать его текстом из редактора? (\"Нет\" оставит файл как есть, а текст в редакторе.)",
     "The file\n\r%s\n\rwas changed by another program after it was read.\n\r"
     "Overwrite it with the text of the editor? (\"No\" leaves the file as it is and the text in the editor.)"},
    {"Файл\n\r%s\n\rудалён другой программой после того, как был прочитан.\n\r"
     "Сохранить его снова? (\"Нет\" оставит текст в редакторе несохранённым.)",
     "The file\n\r%s\n\rwas deleted by another program after it was read.\n\r"
     "Save it again? (\"No\" leaves the text in the editor unsaved.)"},
    {"Не удалось проверить обновления программы. Ответ сервера обновлений не удалось прочитать.",
     "The update check failed. The answer of the update server could not be read."},
    {"Не удалось обновить библиотеку. Ответ сервера обновлений не удалось прочитать.",
     "Failed to update the library. The answer of the update server could not be read."},
    {"Редактор наборов конфигов мода Quarn", "Editor of the config sets of the Quarn mod"},
    {"Мод Quarn для World of Tanks", "The Quarn mod for World of Tanks"},
    {"Не удалось открыть браузер. Адрес сайта программы:\n\r%s",
     "No web browser could be opened. The program's website:\n\r%s"},
    {"Не удалось записать файл \"%s\".", "Cannot write file \"%s\"."},
    {"Не удалось сделать резервную копию \"%s\".", "Cannot make the backup \"%s\"."},
    {"Прежний текст файла восстановлен.", "The file's old text was put back."},
    {"В файле осталась часть нового текста; его прежний текст сохранён в\n\r%s",
     "The file holds part of the new text; its old text is kept in\n\r%s"},
    {"В файле осталась часть нового текста.", "The file holds part of the new text."},
    {"Прошлое сохранение файла\n\r%s\n\rбыло прервано, и в файле может быть лишь часть более нового текста. "
     "Текст, который был в файле до того сохранения, сохранён в\n\r%s\n\r"
     "Удалите эту копию, когда она станет не нужна.",
     "An earlier save of the file\n\r%s\n\rwas interrupted, so the file may hold only part of a newer text. "
     "The text the file held before that save is kept in\n\r%s\n\r"
     "Delete that copy when you no longer need it."},
    {"Файл\n\r%s\n\rможно записать только поверх него самого, а копию его нынешнего текста в\n\r%s\n\r"
     "сделать не удалось: %s\n\rЕсли запись прервётся, файл будет испорчен. Всё равно сохранить?",
     "The file\n\r%s\n\rcan only be written over itself, and no copy of its present text could be made in\n\r%s\n\r"
     "(%s)\n\rIf the write is interrupted, the file is left damaged. Save anyway?"},
    {"Резервная копия\n\r%s\n\rсодержит нулевые байты, но не похожа на текст UTF-16 и не начинается с метки "
     "порядка байтов: её кодировку определить нельзя, и она не загружена. Файл и текст в редакторе не изменены.",
     "The backup\n\r%s\n\rholds zero bytes but does not look like UTF-16 text and begins with no byte-order mark: "
     "its encoding cannot be told, so it was not loaded. The file and the text in the editor are unchanged."},
    {"Вышла новая сборка программы: %s (версия %s).\n\rЭта сборка собрана без ключа выпуска и не может сама "
     "устанавливать обновления. Новую сборку можно скачать на сайте программы:\n\r%s",
     "A new build of the program is out: %s (version %s).\n\rThis build was made without a release key and cannot "
     "install updates itself. The new build can be downloaded from the program's website:\n\r%s"},
    {"Для режима тестирования нужна библиотека DebugInfo.so этой версии. Эта сборка собрана без ключа выпуска и не "
     "может сама загрузить библиотеку. Её можно взять на сайте программы:\n\r%s",
     "Debug mode needs the DebugInfo.so library of this version. This build was made without a release key and "
     "cannot download the library itself. It can be had from the program's website:\n\r%s"},
    {"Не удалось открыть файл %s. %s", "Cannot open file %s. %s"},
    {"Не удалось прочитать файл %s. %s", "Cannot read file %s. %s"},
    {"Не удалось создать папку %s. %s", "Cannot create folder %s. %s"},
    {"Это не обычный файл", "Not a regular file"},
    {"Файл больше %s МБ", "The file is larger than %s MB"},
    {"В имени есть нулевой байт", "The name contains a zero byte"},
    {"Файл %s не удалось прочитать, поэтому в панели нет его текста; файл оставлен как есть.",
     "The file %s could not be read, so the panel does not hold its text; it is left as it is."},
    {"не удалось прочитать: %s; только чтение", "could not be read: %s; read-only"},
    {"слишком большой файл", "the file is too large"},
    {"Системная ошибка %s (%s)", "System error %s (%s)"},
    {"В конфиге больше %s файлов. Перечень файлов остановлен на файле \"%s\"",
     "The config set has more than %s files. Listing stopped at the file \"%s\""},
    {"Не удалось создать файл \"%s\".", "Cannot create file \"%s\"."},
    {"Не удалось сохранить копию \"%s\" в %s.", "Cannot keep a copy of \"%s\" in %s."},
    {"Не удалось сохранить копию \"%s\": для неё нет папки (не задана ни папка состояния, ни домашняя папка).",
     "Cannot keep a copy of \"%s\": there is no folder for it (neither XDG_STATE_HOME nor HOME names a folder)."},
    {"Не удалось начать печать", "The print job could not start"},
    {"Не удалось завершить печать", "The print job could not be finished"},
    {"\"%s\": принтер отказался от задания", "\"%s\": the printer refused the job"},
    {"\"%s\": принтер не смог завершить задание", "\"%s\": the printer could not finish the job"},
    {"не указано имя файла", "no file named"},
    {"Не удалось начать обмен с сервером", "The HTTP client could not start"},
    {"Запрос %s не удался: %s", "HTTP GET %s failed: %s"},
    {"ответ не удалось сохранить", "the body could not be stored"},
    {"ответ длиннее %s байт", "the body is longer than %s bytes"},
    {"код ответа сервера %s", "status %s"},
    {"нет связи с сервером", "no connection to the server"},
    {"сервер не ответил вовремя", "the server did not answer in time"},
    {"не удалось установить защищённое соединение с сервером", "no secure connection to the server could be made"},
    {"слишком много перенаправлений", "too many redirects"},
    {"ошибка передачи %s", "transfer error %s"},
    {"Не удалось записать журнал ошибок %s: %s", "Cannot write the error log %s: %s"},
    {"в загруженной программе нет номера сборки", "the downloaded program carries no build number"},
    {"загружена сборка %s, а не предложенная сборка %s", "the downloaded program is build %s, not the offered build %s"},
    {"Не удалось переименовать файл %s. %s", "Cannot rename file %s. %s"},
    {"файл короче заголовка исполняемого файла", "too short for an ELF header"},
    {"это не исполняемый файл", "not an ELF file"},
    {"исполняемый файл другой разрядности", "an ELF file of another word size"},
    {"исполняемый файл с другим порядком байтов", "an ELF file of another byte order"},
    {"исполняемый файл неизвестной версии", "an ELF file of an unknown version"},
    {"исполняемый файл для другого процессора", "an ELF file for another machine"},
    {"заголовки программы неверного размера", "program headers of a wrong size"},
    {"слишком много заголовков программы", "too many program headers"},
    {"заголовки программы выходят за конец файла", "program headers past the end of the file"},
    {"сегмент выходит за конец файла", "a segment past the end of the file"},
    {"объектный файл, а не программа", "a relocatable object, not a program"},
    {"объектный файл, а не библиотека", "a relocatable object, not a library"},
    {"дамп памяти", "a core file"},
    {"исполняемый файл, в котором нечего загружать", "an ELF file with nothing to load"},
    {"программа без точки входа", "a program without an entry point"},
    {"разделяемая библиотека, а не программа", "a shared library, not a program"},
    {"это не программа", "not a program"},
    {"программа, а не библиотека", "a program, not a library"},
    {"это не библиотека", "not a library"},
    {"в этой сборке нет ключа выпуска для проверки подписей", "this build has no release key to check signatures with"},
    {"в подписи %s байт, а не %s", "the signature has %s bytes, not %s"},
    {"не удалось запустить библиотеку проверки подписей", "the signature library could not start"},
    {"подпись не соответствует файлу и ключу выпуска", "the signature does not match the file and the release key"},
    {"Не удалось составить текст файла", "The text could not be made"},
    {"Файл %s не удалось прочитать (%s), поэтому в панели нет его текста; в %s ничего не записано.",
     "The file %s could not be read (%s), so the panel does not hold its text; nothing was written to %s."},
    {"в файле есть нулевые байты, как в тексте UTF-16; его прочитает %s",
     "the file holds zero bytes, as UTF-16 text does; %s reads it"},
    {"файл начинается с метки порядка байтов UTF-16; его прочитает %s",
     "the file begins with a UTF-16 byte-order mark; %s reads it"},
    {"В файле\n\r%s\n\rесть нулевые байты: похоже, это текст UTF-16, прочитанный как однобайтовый "
     "(его прочитает %s).\n\rПри сохранении нулевые байты будут записаны в файл. Всё равно сохранить?",
     "The file\n\r%s\n\rholds zero bytes: it looks like UTF-16 text read one byte to a character "
     "(%s reads it).\n\rSaving writes the zero bytes into the file. Save anyway?"},
    {"Не удалось восстановить текст из резервной копии:\n\r%s\n\rФайл и текст в редакторе не изменены.",
     "The text could not be recovered from the backup:\n\r%s\n\rThe file and the text in the editor are unchanged."},
    {"%s — символьная ссылка, а не файл. Резервные копии программа делает сама и никогда не делает ссылками.",
     "%s is a symbolic link, not a file. The program makes its backups itself and never as links."},
    {"Прежний текст файла возвращён в него, но диск не подтвердил, что он записан; он также сохранён в\n\r%s",
     "The file's old text was put back, but the disk did not confirm that it was stored; it is also kept in\n\r%s"},
    {"В файле новый текст, но диск не подтвердил, что он записан.",
     "The file holds the new text, but the disk did not confirm that it was stored."},
    {"Более старых копий этого файла от прерванных сохранений в той же папке: %s.",
     "Older copies of the file from interrupted saves in the same folder: %s."},
    {"Файл\n\r%s\n\rможно записать только поверх него самого, а копию его нынешнего текста сохранить негде: "
     "нет папки состояния программы (не задана ни она, ни домашняя папка).\n\r"
     "Если запись прервётся, файл будет испорчен. Всё равно сохранить?",
     "The file\n\r%s\n\rcan only be written over itself, and there is nowhere to keep a copy of its present text: "
     "there is no state folder (neither XDG_STATE_HOME nor HOME names a folder).\n\r"
     "If the write is interrupted, the file is left damaged. Save anyway?"},
}};

// The entry of each text named below this unit, in TProgramText's order.
constexpr std::array<int, static_cast<std::size_t>(TProgramText::Count)> ProgramTextEntries = {
    leCannotWriteFile, leCannotCreateFile, leCannotMakeBackup, leCannotKeepCopy, leNoStateFolder,
    leNotRegularFile, leOldTextPutBack, leOldTextKeptIn, leFileWrittenInPart,
    lePrintNotStarted, lePrintNotFinished, lePrinterRefused, lePrinterNotFinished, leNoFileNamed,
    leHttpNotStarted, leHttpFailed, leHttpBodyNotStored, leHttpBodyTooLong, leHttpStatus, leHttpNoConnection,
    leHttpTimedOut, leHttpNotSecure, leHttpTooManyRedirects, leHttpTransferError,
    leElfTooShort,
    leElfNot,
    leElfWordSize,
    leElfByteOrder,
    leElfVersion,
    leElfMachine,
    leElfHeaderSize,
    leElfTooManyHeaders,
    leElfHeadersPastEnd,
    leElfSegmentPastEnd,
    leElfObjectNotProgram,
    leElfObjectNotLibrary,
    leElfCore,
    leElfNothingToLoad,
    leElfNoEntryPoint,
    leElfLibraryNotProgram,
    leElfNotProgram,
    leElfProgramNotLibrary,
    leElfNotLibrary,
    leNoReleaseKey,
    leSignatureSize,
    leSignatureNotStarted,
    leSignatureMismatch,
    leTextNotMade,
    leOldTextPutBackNotFlushed,
    leNewTextNotFlushed,
};

// The system errors the program reports, in both languages, so that the
// reason of a failure speaks the interface language whatever the system's
// locale is. The English texts are the C library's own.
struct TErrorSource {
  int Err;
  TSourceEntry Text;
};

const TErrorSource ErrorSource[] = {
    {EACCES, {"Отказано в доступе", "Permission denied"}},
    {EPERM, {"Операция не позволена", "Operation not permitted"}},
    {ENOENT, {"Нет такого файла или каталога", "No such file or directory"}},
    {EISDIR, {"Это каталог", "Is a directory"}},
    {ENOTDIR, {"Это не каталог", "Not a directory"}},
    {ENOSPC, {"На устройстве не осталось свободного места", "No space left on device"}},
    {EDQUOT, {"Превышена дисковая квота", "Disk quota exceeded"}},
    {EROFS, {"Файловая система доступна только для чтения", "Read-only file system"}},
    {EFBIG, {"Файл слишком велик", "File too large"}},
    {ENAMETOOLONG, {"Слишком длинное имя файла", "File name too long"}},
    {EIO, {"Ошибка ввода-вывода", "Input/output error"}},
    {ELOOP, {"Слишком много уровней символьных ссылок", "Too many levels of symbolic links"}},
    {ETXTBSY, {"Текстовый файл занят", "Text file busy"}},
    {EEXIST, {"Файл существует", "File exists"}},
    {EBUSY, {"Устройство или ресурс занято", "Device or resource busy"}},
    {EXDEV, {"Неверная ссылка между устройствами", "Invalid cross-device link"}},
    {EMFILE, {"Слишком много открытых файлов", "Too many open files"}},
    {ENFILE, {"Слишком много открытых файлов в системе", "Too many open files in system"}},
    {ENOMEM, {"Не удалось выделить память", "Cannot allocate memory"}},
    {EINVAL, {"Недопустимый аргумент", "Invalid argument"}},
    {ENXIO, {"Нет такого устройства или адреса", "No such device or address"}},
    {ENOTEMPTY, {"Каталог не пуст", "Directory not empty"}},
    {EMLINK, {"Слишком много ссылок", "Too many links"}},
    {ESTALE, {"Устаревший дескриптор файла", "Stale file handle"}},
    {EAGAIN, {"Ресурс временно недоступен", "Resource temporarily unavailable"}},
    {EINTR, {"Прерван системный вызов", "Interrupted system call"}},
};

struct TTable {
  std::array<std::array<std::string, LanguageCount>, LangTextCount> Entries;
  std::vector<int> Errors;  // in ErrorSource's order
  std::vector<std::array<std::string, LanguageCount>> ErrorTexts;
  std::array<std::array<std::string, 2>, LanguageCount> EditMode;  // [language][mode]
};

std::string ToAnsi(std::string_view utf8) {
  std::size_t replaced = 0;
  std::string s = Utf8ToAnsi(utf8, &replaced);
  OND_ASSERT(replaced == 0);
  return s;
}

const TTable& Table() {
  static const TTable table = [] {
    TTable t;
    for (int i = 0; i < LangTextCount; ++i) {
      const TSourceEntry& s = i < LangEntryCount ? Source[i] : MessageSource[static_cast<std::size_t>(i - static_cast<int>(LangEntryCount))];
      t.Entries[i][LangRussian] = ToAnsi(s.Russian);
      t.Entries[i][LangEnglish] = ToAnsi(s.English);
    }
    for (int mode = 0; mode < 2; ++mode) {
      t.EditMode[LangRussian][mode] = ToAnsi(EditModeSource[mode].Russian);
      t.EditMode[LangEnglish][mode] = ToAnsi(EditModeSource[mode].English);
    }
    for (const TErrorSource& e : ErrorSource) {
      t.Errors.push_back(e.Err);
      t.ErrorTexts.push_back({ToAnsi(e.Text.Russian), ToAnsi(e.Text.English)});
    }
    return t;
  }();
  return table;
}

int ValidLanguage(int language) {
  OND_ASSERT(language == LangRussian || language == LangEnglish);
  return language;
}

bool CurrentLanguageErrorText(int err, std::string& text) {
  text = LangSystemError(err);
  return true;
}

// SystemErrorText, below this unit, asks the table through this source from
// the moment the program's code is loaded.
[[maybe_unused]] const bool ErrorTextSourceSet = (SetErrorTextSource(CurrentLanguageErrorText), true);

bool CurrentLanguageProgramText(TProgramText id, std::string& text) {
  text = Lang(LangProgramTextEntry(id));
  return true;
}

// The same for the texts the units below name.
[[maybe_unused]] const bool ProgramTextSourceSet = (SetProgramTextSource(CurrentLanguageProgramText), true);

}  // namespace

// The update and download threads build their texts in the current language
// while the window's thread may switch it: both sides go through an atomic
// view of the setting.
int CurrentLanguage() {
  const int language = std::atomic_ref<int>(Settings.interface.view.language).load(std::memory_order_relaxed);
  return language == LangRussian ? LangRussian : LangEnglish;
}

void SetCurrentLanguage(int language) {
  std::atomic_ref<int>(Settings.interface.view.language).store(ValidLanguage(language), std::memory_order_relaxed);
}

const std::string& LangText(int entry, int language) {
  OND_ASSERT(entry >= 0 && entry < LangTextCount);
  return Table().Entries[entry][ValidLanguage(language)];
}

const std::string& Lang(int entry) { return LangText(entry, CurrentLanguage()); }

std::string LangFill(int entry, std::initializer_list<std::string_view> Values) {
  return FillPlaceholders(Lang(entry), Values);
}

const std::string& LangEditModeText(int mode, int language) {
  OND_ASSERT(mode == EditModeInsert || mode == EditModeOverwrite);
  return Table().EditMode[ValidLanguage(language)][mode];
}

const std::string& LangEditMode(int mode) { return LangEditModeText(mode, CurrentLanguage()); }

std::string LangMenuPath(std::initializer_list<int> entries) {
  std::string path;
  for (const int entry : entries) path += (path.empty() ? "" : " > ") + Lang(entry);
  return path;
}

bool LangSystemErrorText(int err, int language, std::string& text) {
  const TTable& t = Table();
  for (std::size_t i = 0; i < t.Errors.size(); ++i)
    if (t.Errors[i] == err) {
      text = t.ErrorTexts[i][ValidLanguage(language)];
      return true;
    }
  return false;
}

int LangProgramTextEntry(TProgramText id) { return ProgramTextEntries.at(static_cast<std::size_t>(id)); }

const std::vector<int>& LangSystemErrors() { return Table().Errors; }

std::string LangSystemError(int err) {
  std::string text;
  if (LangSystemErrorText(err, CurrentLanguage(), text)) return text;
  return LangFill(leSystemErrorNumber, {IntToStr(err), SystemErrorTextOfSystem(err)});
}

std::string LangReadReason(int errorNumber) {
  switch (errorNumber) {
    case 0: return {};
    case ErrNotRegularFile: return Lang(leNotRegularFile);
    case ErrFileTooLarge: return Lang(leUnreadTooLarge);
    case ErrNulInName: return Lang(leNulInName);
    default: return LangSystemError(errorNumber);
  }
}

std::function<std::string()> LangBound(std::string text) {
  return [text = std::move(text), language = CurrentLanguage()] {
    return CurrentLanguage() == language ? text : std::string();
  };
}

bool IsRussianLocaleName(const char* localeName) {
  if (localeName == nullptr) return false;
  std::string_view name(localeName);
  const std::size_t end = name.find_first_of("_.@");
  return AsciiLowerCase(name.substr(0, end)) == "ru";
}

bool IsRussianSystem() {
  try {
    // The same locale the system's language identifier comes from.
    return IsRussianLocaleName(MessagesLocale().c_str());
  } catch (...) {
    return false;
  }
}

}  // namespace ond
