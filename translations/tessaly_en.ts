<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Album</name>
    <message>
        <source>ウェブアルバムのひな形「%1」を読めません。(%2)</source>
        <translation>Cannot read the web album template “%1”. (%2)</translation>
    </message>
    <message>
        <source>ウェブアルバムのひな形「%1」に誤りがあります。(%2)</source>
        <translation>The web album template “%1” has an error. (%2)</translation>
    </message>
    <message>
        <source>ファイルがありません</source>
        <translation>file not found</translation>
    </message>
    <message>
        <source>ファイルを読み取れません</source>
        <translation>cannot read the file</translation>
    </message>
    <message>
        <source>表示できません</source>
        <translation>cannot be shown</translation>
    </message>
</context>
<context>
    <name>AutoSet</name>
    <message>
        <source>次のフォルダは名前が UTF-8 ではないため登録できません。名前を変更してください:</source>
        <translation>These folders cannot be registered because their names are not UTF-8. Rename them:</translation>
    </message>
    <message>
        <source>フォルダ「%1」を読み取れません。</source>
        <translation>Cannot read the folder “%1”.</translation>
    </message>
    <message>
        <source>%1の登録は途中で止まりました。新しい%1は登録していません。</source>
        <translation>Registering the %1 folders stopped partway. No new %1 was registered.</translation>
    </message>
    <message>
        <source>%1の登録は途中で止まりました。%2 件まで登録しました。残りは登録していません。</source>
        <translation>Registering the %1 folders stopped partway. %2 were registered; the rest were not.</translation>
    </message>
    <message>
        <source>総ﾄｯﾌﾟﾌｫﾙﾀﾞ「%1」が見つかりません。</source>
        <translation>The base folder “%1” was not found.</translation>
    </message>
    <message>
        <source>総ﾄｯﾌﾟﾌｫﾙﾀﾞが設定されていません。</source>
        <translation>The base folder is not set.</translation>
    </message>
    <message>
        <source>総ﾄｯﾌﾟﾌｫﾙﾀﾞを設定してください。</source>
        <translation>Set the base folder.</translation>
    </message>
    <message>
        <source>設定されている撮影者ﾌｫﾙﾀﾞを元に、ﾌｫﾙﾀﾞ検索を継続しますか？</source>
        <translation>Go on searching folders from the stored categories?</translation>
    </message>
    <message>
        <source>登録されているフォルダのうち %1 件が見つかりません:</source>
        <translation>%1 stored folders were not found:</translation>
    </message>
    <message>
        <source>ほか %1 件 (すべては tessaly-cli check で表示できます)</source>
        <translation>and %1 more (tessaly-cli check lists them all)</translation>
    </message>
    <message>
        <source>名前を変えたか移したフォルダは新しい行として登録されています。古い行のリンク・ファイル・写真を移してから、古い行を削除してください。</source>
        <translation>A folder that was renamed or moved has been registered as a new row. Move the link, file and photo of the old row, then delete the old row.</translation>
    </message>
    <message>
        <source>ｵｰﾄｾｯﾄを実行しますか？</source>
        <translation>Run the auto-set?</translation>
    </message>
    <message>
        <source>カテゴリー: 追加 %1、更新 %2、変更なし %3</source>
        <translation>categories: %1 added, %2 refreshed, %3 unchanged</translation>
    </message>
    <message>
        <source>ジャンル: 追加 %1、更新 %2、変更なし %3</source>
        <translation>genres: %1 added, %2 refreshed, %3 unchanged</translation>
    </message>
    <message>
        <source>タイトル: 追加 %1、更新 %2、変更なし %3</source>
        <translation>titles: %1 added, %2 refreshed, %3 unchanged</translation>
    </message>
    <message>
        <source>名前が変わったフォルダ: %1</source>
        <translation>renamed folders: %1</translation>
    </message>
    <message>
        <source>追加: カテゴリー %1、ジャンル %2、タイトル %3</source>
        <translation>added: %1 categories, %2 genres, %3 titles</translation>
    </message>
</context>
<context>
    <name>Console</name>
    <message>
        <source>質問</source>
        <translation>question</translation>
    </message>
    <message>
        <source>お知らせ</source>
        <translation>information</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>warning</translation>
    </message>
    <message>
        <source>エラー</source>
        <translation>error</translation>
    </message>
    <message>
        <source>メッセージ</source>
        <translation>message</translation>
    </message>
    <message>
        <source> -&gt; はい</source>
        <translation> -&gt; yes</translation>
    </message>
    <message>
        <source> -&gt; いいえ</source>
        <translation> -&gt; no</translation>
    </message>
</context>
<context>
    <name>Database</name>
    <message>
        <source>ライブラリは他のプログラムが使用中です。しばらくしてからもう一度実行してください。(%1)</source>
        <translation>The library is in use by another program. Try again in a while. (%1)</translation>
    </message>
    <message>
        <source>この書き込みは保存されていません。</source>
        <translation> This change was not saved.</translation>
    </message>
    <message>
        <source>ライブラリ「%1」のフォルダ「%2」に書き込めません（読み取り専用のメディアか、書き込みが許可されていないファイルかフォルダです）。</source>
        <translation>Cannot write in the folder “%2” of the library “%1” (read-only media, or a file or folder without write permission).</translation>
    </message>
    <message>
        <source>ディスクがいっぱいです。ライブラリ「%1」のあるディスクに空きがありません。</source>
        <translation>The disk is full: there is no free space on the disk of the library “%1”.</translation>
    </message>
    <message>
        <source>空きを作ってから、もう一度実行してください。</source>
        <translation> Free some space, then try again.</translation>
    </message>
    <message>
        <source>ライブラリファイル「%1」を開けません: %2</source>
        <translation>Cannot open the library file “%1”: %2</translation>
    </message>
    <message>
        <source>ライブラリのデータベースではありません (%1)</source>
        <translation>not a library database (%1)</translation>
    </message>
    <message>
        <source>テーブル %1 がありません</source>
        <translation>table %1 is missing</translation>
    </message>
    <message>
        <source>テーブル %1 に項目 %2 がありません</source>
        <translation>table %1 has no field %2</translation>
    </message>
    <message>
        <source>ライブラリが開かれていません。</source>
        <translation>No library is open.</translation>
    </message>
    <message>
        <source>ファイルがありません</source>
        <translation>the file does not exist</translation>
    </message>
    <message>
        <source>ファイルではありません</source>
        <translation>not a file</translation>
    </message>
    <message>
        <source>読み取りが許可されていません</source>
        <translation>no permission to read</translation>
    </message>
    <message>
        <source>SQLite のドライバ (QSQLITE) が見つかりません。</source>
        <translation>The SQLite driver (QSQLITE) was not found.</translation>
    </message>
    <message>
        <source>Windows 版の形式 (Jet) のライブラリです。先に変換してください (ﾌｧｲﾙ &gt; 開く、または tessaly-cli import-jet)</source>
        <translation>a library in the Windows (Jet) format; convert it first (File &gt; Open in the program, or tessaly-cli import-jet)</translation>
    </message>
    <message>
        <source>ライブラリへの接続は閉じられています。</source>
        <translation>The connection to the library is closed.</translation>
    </message>
    <message>
        <source>ライブラリ「%1」の%2に失敗しました: %3</source>
        <translation>%2 the library “%1” failed: %3</translation>
    </message>
    <message>
        <source>処理</source>
        <translation>Processing</translation>
    </message>
    <message>
        <source>トランザクション開始</source>
        <translation>Starting a transaction on</translation>
    </message>
    <message>
        <source>書き込み</source>
        <translation>Writing to</translation>
    </message>
    <message>
        <source>SQLite の接続を使えません</source>
        <translation>the SQLite connection cannot be used</translation>
    </message>
    <message>
        <source>読み取り</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>扱えない命令です: %1</source>
        <translation>statement not handled: %1</translation>
    </message>
    <message>
        <source>現在の行がありません</source>
        <translation>there is no current row</translation>
    </message>
    <message>
        <source>行は削除されています</source>
        <translation>the row has been deleted</translation>
    </message>
    <message>
        <source>列 %1 がありません</source>
        <translation>there is no column %1</translation>
    </message>
    <message>
        <source>行はほかの処理で削除されています</source>
        <translation>the row was deleted by another process</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Deleting from</translation>
    </message>
    <message>
        <source>更新</source>
        <translation>Updating</translation>
    </message>
</context>
<context>
    <name>FolderSettings</name>
    <message>
        <source>基準フォルダは読み込んだ後に他で変更されています。</source>
        <translation>The base folder was changed elsewhere after it was read.</translation>
    </message>
    <message>
        <source>HTML出力先は読み込んだ後に他で変更されています。</source>
        <translation>The HTML output folder was changed elsewhere after it was read.</translation>
    </message>
    <message>
        <source>書き込み</source>
        <translation>Writing to</translation>
    </message>
    <message>
        <source>登録済みのファイルと写真のうち %1 件は、パスがまだ Windows のドライブを指しているか、このコンピューターにありません（そのタイトルの「開く」は使えません）:
<byte value="xd"/></source>
        <translation>%1 of the stored files and photos still point to a Windows drive or are not on this computer (the Open button of their titles will not work):
<byte value="xd"/></translation>
    </message>
    <message>
        <source>
<byte value="xd"/>…ほか %1 件</source>
        <translation>
<byte value="xd"/>… and %1 more</translation>
    </message>
    <message>
        <source>ﾌｫﾙﾀﾞが選択されていません！</source>
        <translation>No folder is chosen!</translation>
    </message>
    <message>
        <source>「%1」はフォルダの場所を「/」から示していません。
<byte value="xd"/>フォルダは「参照」で選ぶか、「/」で始まるパスで入力してください。</source>
        <translation>“%1” does not give the folder’s place from “/”.
<byte value="xd"/>Choose the folder with Browse, or type a path that starts with “/”.</translation>
    </message>
    <message>
        <source>「%1」はフォルダではなくファイルです。フォルダを指定してください。</source>
        <translation>“%1” is a file, not a folder. Give a folder.</translation>
    </message>
    <message>
        <source>フォルダ「%1」がありません。</source>
        <translation>The folder “%1” does not exist.</translation>
    </message>
    <message>
        <source>フォルダ「%1」がありません。作成しますか？</source>
        <translation>The folder “%1” does not exist. Create it?</translation>
    </message>
    <message>
        <source>フォルダ「%1」を作成できません。</source>
        <translation>Cannot create the folder “%1”.</translation>
    </message>
    <message>
        <source>書き込みは行いませんでした。保存されている内容を表示します。</source>
        <translation>Nothing was written. The stored folder is shown.</translation>
    </message>
    <message>
        <source>基準フォルダと保存されているパスは変更されていません。</source>
        <translation>The base folder and the stored paths are unchanged.</translation>
    </message>
    <message>
        <source>値がありません</source>
        <translation>no value</translation>
    </message>
    <message>
        <source>「%1」はルートより短いパスです</source>
        <translation>“%1” is shorter than the root</translation>
    </message>
    <message>
        <source>%1 (%2=%3) の %4 を書き換えられません: %5</source>
        <translation>Cannot rewrite %4 of %1 (%2=%3): %5</translation>
    </message>
</context>
<context>
    <name>HtmlOut</name>
    <message>
        <source>ファイル名が正しくありません。(%1.html)</source>
        <translation>Bad file name. (%1.html)</translation>
    </message>
    <message>
        <source>次のカテゴリーにはジャンルが未登録です。そのページには「%1」と書きました。
<byte value="xd"/></source>
        <translation>These categories have no genres; their pages say “%1”.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>ファイル名が正しくありません。(%1)</source>
        <translation>Bad file name. (%1)</translation>
    </message>
    <message>
        <source>テーブル photoIvents に項目 %1 がありません</source>
        <translation>table photoIvents has no field %1</translation>
    </message>
    <message>
        <source>フォルダを読み取れません</source>
        <translation>cannot read the folder</translation>
    </message>
    <message>
        <source>フォルダがありません</source>
        <translation>the folder does not exist</translation>
    </message>
    <message>
        <source>ファイル名がUTF-8ではないため開けません</source>
        <translation>cannot be opened because the file name is not UTF-8</translation>
    </message>
    <message>
        <source>写真がありません</source>
        <translation>the photo does not exist</translation>
    </message>
    <message>
        <source>次のジャンルのフォルダには「nIndex.html」という名前のフォルダがあるため、ページを書けませんでした。
<byte value="xd"/></source>
        <translation>The pages of these genres were not written because their folders hold a folder named “nIndex.html”.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>次のジャンルのフォルダはリンクで基準フォルダの外を指しています。ページはリンク先のフォルダに書きました。
<byte value="xd"/></source>
        <translation>These genre folders are links to places outside the base folder. Their pages were written in the folders linked to.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>次のタイトルのリンクは http・https・mailto 以外の形式のため、ﾘﾝｸボタンを出力しませんでした。
<byte value="xd"/></source>
        <translation>These titles got no link button because their links are not http, https or mailto.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>
<byte value="xd"/>ほか %1 件</source>
        <translation>
<byte value="xd"/>and %1 more</translation>
    </message>
    <message>
        <source>次のタイトルは写真を表示できないため、写真なしで出力しました。</source>
        <translation>These titles were written without their photos because the photos cannot be shown.</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>ほか %1 件（全 %2 件は詳細に表示します）</source>
        <translation>
<byte value="xd"/>and %1 more (all %2 are in the details)</translation>
    </message>
    <message>
        <source>INDEX.HTMLの保存先が設定されていません。</source>
        <translation>The output folder of INDEX.HTML is not set.</translation>
    </message>
    <message>
        <source>フォルダ sub を作れません。同じ名前のファイルがあります。(%1)</source>
        <translation>Cannot create the folder sub: a file of that name is there. (%1)</translation>
    </message>
    <message>
        <source>フォルダ sub を作れません。(%1)</source>
        <translation>Cannot create the folder sub. (%1)</translation>
    </message>
    <message>
        <source>カテゴリが未登録です！</source>
        <translation>No categories are registered!</translation>
    </message>
    <message>
        <source>ジャンルが未登録です！</source>
        <translation>No genres are registered!</translation>
    </message>
    <message>
        <source>パスが見つかりません。(%1)</source>
        <translation>Path not found. (%1)</translation>
    </message>
    <message>
        <source>書き込みが許可されていません。(%1)</source>
        <translation>No permission to write. (%1)</translation>
    </message>
    <message>
        <source>ディスクがいっぱいです。(%1)</source>
        <translation>The disk is full. (%1)</translation>
    </message>
    <message>
        <source>デバイス I/O エラーです。(%1)</source>
        <translation>Device I/O error. (%1)</translation>
    </message>
    <message>
        <source>パス名が無効か、ファイルにアクセスできません。(%1: %2)</source>
        <translation>The path is not valid, or the file cannot be accessed. (%1: %2)</translation>
    </message>
</context>
<context>
    <name>ImageSize</name>
    <message>
        <source>ファイルを読み取れません</source>
        <translation>cannot read the file</translation>
    </message>
    <message>
        <source>サイズの値が大きすぎます</source>
        <translation>the size values are too large</translation>
    </message>
    <message>
        <source>ファイルが途中で切れています</source>
        <translation>the file is cut short</translation>
    </message>
</context>
<context>
    <name>Jet</name>
    <message>
        <source>「%1」に書き込めません: %2</source>
        <translation>Cannot write “%1”: %2</translation>
    </message>
    <message>
        <source>ディスクがいっぱいです。</source>
        <translation>The disk is full.</translation>
    </message>
    <message>
        <source>読み取り専用の場所です。</source>
        <translation>The place is read-only.</translation>
    </message>
    <message>
        <source>書き込みが許可されていません。</source>
        <translation>There is no permission to write.</translation>
    </message>
    <message>
        <source>テンプレート「%1」が見つからないか読めません。</source>
        <translation>The template “%1” is missing or cannot be read.</translation>
    </message>
    <message>
        <source>フォルダ「%1」がありません。</source>
        <translation>The folder “%1” does not exist.</translation>
    </message>
    <message>
        <source>「%1」はフォルダです。</source>
        <translation>“%1” is a folder.</translation>
    </message>
    <message>
        <source>「%1」は既にあります。</source>
        <translation>“%1” exists already.</translation>
    </message>
    <message>
        <source>のカテゴリーがありません</source>
        <translation>names no category</translation>
    </message>
    <message>
        <source>のジャンルがありません</source>
        <translation>names no genre</translation>
    </message>
    <message>
        <source>がジャンル %1 のカテゴリー (%2) と違います</source>
        <translation>differs from the category (%2) of genre %1</translation>
    </message>
    <message>
        <source>テーブル %1 の %2=%3 の行: 項目 %4 の値 (%5) %6</source>
        <translation>table %1, row with %2=%3: the value (%5) of field %4 %6</translation>
    </message>
    <message>
        <source>変換先「%1」が変換元と同じファイルです。</source>
        <translation>The target “%1” is the file being converted.</translation>
    </message>
    <message>
        <source>変換処理「%1」を起動できません: %2</source>
        <translation>Cannot start the converter “%1”: %2</translation>
    </message>
    <message>
        <source>「%1」の変換を中止しました。</source>
        <translation>The conversion of “%1” was cancelled.</translation>
    </message>
    <message>
        <source>「%1」を読む変換処理が %2 秒のあいだ応答しないため、止めました。ファイルが壊れている可能性があります。何も書き込んでいません。</source>
        <translation>The converter reading “%1” gave no answer for %2 seconds and was stopped. The file may be damaged. Nothing was written.</translation>
    </message>
    <message>
        <source>「%1」を読む変換処理が異常終了しました。ファイルが壊れている可能性があります。何も書き込んでいません。%2</source>
        <translation>The converter reading “%1” ended abnormally. The file may be damaged. Nothing was written.%2</translation>
    </message>
    <message>
        <source>「%1」の変換処理が結果を返しませんでした。</source>
        <translation>The conversion of “%1” returned no result.</translation>
    </message>
    <message>
        <source>「%1」は Windows 版の形式 (Jet) のライブラリです。
<byte value="xd"/>同じフォルダに新しいライブラリ「%2」を作って変換しますか？（元のファイルは変更しません）</source>
        <translation>“%1” is a library in the Windows format (Jet).
<byte value="xd"/>Convert it into a new library “%2” in the same folder? (The original file is not changed.)</translation>
    </message>
    <message>
        <source>「%1」は Windows 版の形式 (Jet) のライブラリです。
<byte value="xd"/>このフォルダには書き込めません（読み取り専用）。新しいライブラリの保存先を選んで変換しますか？（元のファイルは変更しません）</source>
        <translation>“%1” is a library in the Windows format (Jet).
<byte value="xd"/>This folder cannot be written to (read-only). Choose where to save a new library and convert it? (The original file is not changed.)</translation>
    </message>
    <message>
        <source>変換したライブラリの保存先</source>
        <translation>Where to save the converted library</translation>
    </message>
    <message>
        <source>データベースファイルが存在します！上書きで作成しますか？</source>
        <translation>The database file exists! Create it anew over the old one?</translation>
    </message>
    <message>
        <source>現在開いているデータベースです！上書き作成する場合は一旦プログラムを終了し、再度新規作成処理を行ってください。</source>
        <translation>This is the open database! To create it anew, quit the program first, then create it again.</translation>
    </message>
    <message>
        <source>「%1」を変換しています…</source>
        <translation>Converting “%1”…</translation>
    </message>
    <message>
        <source>ライブラリを変換できませんでした。
<byte value="xd"/>%1</source>
        <translation>The library could not be converted.
<byte value="xd"/>%1</translation>
    </message>
    <message>
        <source>変換しました: カテゴリー %1 件、ジャンル %2 件、タイトル %3 件。
<byte value="xd"/>続けて、基準フォルダ（写真のフォルダを置いたこのコンピューターのフォルダ）と HTML 出力先を設定してください。登録済みのパスは基準フォルダに合わせてまとめて書き換わります。</source>
        <translation>Converted: %1 categories, %2 genres, %3 titles.
<byte value="xd"/>Next, set the base folder (the folder on this computer where the photo folders now lie) and the HTML output folder. The stored paths are all rewritten to match the base folder.</translation>
    </message>
    <message>
        <source>「%1」はライブラリではありません (%2)。</source>
        <translation>“%1” is not a library (%2).</translation>
    </message>
    <message>
        <source>テーブル %1 の項目数 (%2) があり得ない値です</source>
        <translation>table %1 has an impossible number of fields (%2)</translation>
    </message>
    <message>
        <source>テーブル %1 の定義が矛盾しています: 項目 %2 の%3</source>
        <translation>the definition of table %1 contradicts itself: %3 of field %2</translation>
    </message>
    <message>
        <source>番号 (%1)</source>
        <translation>the number (%1)</translation>
    </message>
    <message>
        <source>位置 (%1)</source>
        <translation>the position (%1)</translation>
    </message>
    <message>
        <source>可変長の番号 (%1)</source>
        <translation>the variable-length number (%1)</translation>
    </message>
    <message>
        <source>テーブル %1 の定義が矛盾しています: 可変長の項目が %2 個あるのに %3 個と書かれています</source>
        <translation>the definition of table %1 contradicts itself: it has %2 variable-length fields but states %3</translation>
    </message>
    <message>
        <source>「%1」を読み取れません。</source>
        <translation>Cannot read “%1”.</translation>
    </message>
    <message>
        <source>がありません</source>
        <translation>is missing</translation>
    </message>
    <message>
        <source>が短すぎます (%1 バイト)</source>
        <translation>is too short (%1 bytes)</translation>
    </message>
    <message>
        <source>のページ %1 が一覧のページではありません</source>
        <translation>names page %1, which is not a map page</translation>
    </message>
    <message>
        <source>の形式 (%1) が分かりません</source>
        <translation>has an unknown format (%1)</translation>
    </message>
    <message>
        <source>テーブル %1 の使用ページの一覧%2</source>
        <translation>the used-pages map of table %1 %2</translation>
    </message>
    <message>
        <source>がページ %1 を指していますが、ファイルは %2 ページです</source>
        <translation>points to page %1, but the file has %2 pages</translation>
    </message>
    <message>
        <source>が指すページ %1 は行のページではありません (種類 %2)</source>
        <translation>points to page %1, which is not a page of rows (type %2)</translation>
    </message>
    <message>
        <source>「%1」は壊れているか、途中で切れています (%2)。</source>
        <translation>“%1” is damaged or cut short (%2).</translation>
    </message>
    <message>
        <source>「%1」がありません。</source>
        <translation>“%1” does not exist.</translation>
    </message>
    <message>
        <source>ファイルが短すぎます</source>
        <translation>the file is too short</translation>
    </message>
    <message>
        <source>「%1」は Jet 形式のデータベースではありません。</source>
        <translation>“%1” is not a Jet database.</translation>
    </message>
    <message>
        <source>「%1」は Access 2007 以降の形式です。変換できるのは Jet 3 と Jet 4 の形式 (Access 97 から 2003) だけです。</source>
        <translation>“%1” is in the format of Access 2007 or later. Only the Jet 3 and Jet 4 formats (Access 97 to 2003) can be converted.</translation>
    </message>
    <message>
        <source>「%1」はパスワードで保護されています。Windows の Access でパスワードを解除してから変換してください。</source>
        <translation>“%1” is protected by a password. Remove the password in Access on Windows, then convert it.</translation>
    </message>
    <message>
        <source>大きさがページの倍数ではありません</source>
        <translation>its size is not a whole number of pages</translation>
    </message>
    <message>
        <source>ファイルの見出しを読めません</source>
        <translation>cannot read the file&apos;s header</translation>
    </message>
    <message>
        <source>「%1」は暗号化されています。Windows の Access で暗号化を解除してから変換してください。</source>
        <translation>“%1” is encrypted. Remove the encryption in Access on Windows, then convert it.</translation>
    </message>
    <message>
        <source>テーブルの一覧を読めません</source>
        <translation>cannot read the list of tables</translation>
    </message>
    <message>
        <source>テーブル %1 がありません</source>
        <translation>table %1 is missing</translation>
    </message>
    <message>
        <source>テーブル %1 の定義を読めません</source>
        <translation>cannot read the definition of table %1</translation>
    </message>
    <message>
        <source>テーブル %1 に項目 %2 がありません</source>
        <translation>table %1 has no field %2</translation>
    </message>
    <message>
        <source>テーブル %1 の項目 %2 の型 (%3) には対応していません</source>
        <translation>the type (%3) of field %2 in table %1 is not supported</translation>
    </message>
    <message>
        <source>テーブル %1 の %2 行目: %3</source>
        <translation>table %1, row %2: %3</translation>
    </message>
    <message>
        <source>行を読めません</source>
        <translation>cannot read the row</translation>
    </message>
    <message>
        <source>項目 %1 の値が見つかりません</source>
        <translation>the value of field %1 is not found</translation>
    </message>
    <message>
        <source>項目 %1 の値が行の外にあります</source>
        <translation>the value of field %1 lies outside the row</translation>
    </message>
    <message>
        <source>キー %1 の値 (%2) があり得ません</source>
        <translation>the key %1 has an impossible value (%2)</translation>
    </message>
    <message>
        <source>テーブル %1 の行が %2 件中 %3 件しか読めません</source>
        <translation>table %1: only %3 of %2 rows can be read</translation>
    </message>
    <message>
        <source>テーブル %1 は %2 件と書かれていますが、%3 件の行があります</source>
        <translation>table %1 states %2 rows but has %3</translation>
    </message>
</context>
<context>
    <name>Kinds</name>
    <message>
        <source>カテゴリー</source>
        <translation>category</translation>
    </message>
    <message>
        <source>ジャンル</source>
        <translation>genre</translation>
    </message>
    <message>
        <source>タイトル</source>
        <translation>title</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>file</translation>
    </message>
    <message>
        <source>写真</source>
        <translation>photo</translation>
    </message>
</context>
<context>
    <name>Library</name>
    <message>
        <source>書き込みが許可されていません (%1)</source>
        <translation>no permission to write (%1)</translation>
    </message>
    <message>
        <source>ディスクの空き容量が足りません (%1)</source>
        <translation>not enough free disk space (%1)</translation>
    </message>
    <message>
        <source>フォルダが見つかりません (%1)</source>
        <translation>folder not found (%1)</translation>
    </message>
    <message>
        <source>ファイルにアクセスできません (%1: %2)</source>
        <translation>cannot access the file (%1: %2)</translation>
    </message>
    <message>
        <source>「%1」はシンボリックリンクです (リンク先: %2)。リンク先を書き換えないよう、ライブラリはリンクの名前には作成しません。別の名前を指定してください。</source>
        <translation>“%1” is a symbolic link (to %2). So that what it links to is not overwritten, no library is created under the link’s name. Give another name.</translation>
    </message>
    <message>
        <source>「%1」はファイルではありません</source>
        <translation>“%1” is not a file</translation>
    </message>
    <message>
        <source>テンプレート「%1」が見つからないか読めません</source>
        <translation>the template “%1” is missing or unreadable</translation>
    </message>
    <message>
        <source>テンプレート「%1」を読めません</source>
        <translation>cannot read the template “%1”</translation>
    </message>
    <message>
        <source>テンプレートがライブラリではありません: %1</source>
        <translation>the template is not a library: %1</translation>
    </message>
    <message>
        <source>データベースを新規で作成する場合は、「新規作成」メニューで処理を行ってください！！</source>
        <translation>To create a new database, use the New menu!</translation>
    </message>
    <message>
        <source>データベースを作成</source>
        <translation>Create a database</translation>
    </message>
    <message>
        <source>「%1」はファイルではないため、データベースを作成できません。</source>
        <translation>“%1” is not a file, so no database can be created there.</translation>
    </message>
    <message>
        <source>データベースファイルが存在します！上書きで作成しますか？</source>
        <translation>The database file exists! Create it anew over the old one?</translation>
    </message>
    <message>
        <source>現在開いているデータベースです！上書き作成する場合は一旦プログラムを終了し、再度新規作成処理を行ってください。</source>
        <translation>This is the open database! To create it anew, quit the program first, then create it again.</translation>
    </message>
    <message>
        <source>再実行しますか？</source>
        <translation> Try again?</translation>
    </message>
    <message>
        <source>ライブラリを作成できませんでした。
<byte value="xd"/>%1</source>
        <translation>The library could not be created.
<byte value="xd"/>%1</translation>
    </message>
</context>
<context>
    <name>Media</name>
    <message>
        <source>画像と動画を扱う部品「%1」を読み込めません (%2)</source>
        <translation>Cannot load the picture and video module “%1” (%2)</translation>
    </message>
    <message>
        <source>古い版です</source>
        <translation>an old version</translation>
    </message>
    <message>
        <source>画像と動画を扱う部品「%1」がありません</source>
        <translation>The picture and video module “%1” is missing</translation>
    </message>
    <message>
        <source>」「</source>
        <translation>”, “</translation>
    </message>
    <message>
        <source>動画として開けません</source>
        <translation>cannot be opened as a video</translation>
    </message>
    <message>
        <source>この動画の形式は読めません</source>
        <translation>the video’s format cannot be read</translation>
    </message>
    <message>
        <source>動画が壊れているか空で、画面を取り出せません</source>
        <translation>the video is damaged or empty; no frame can be taken</translation>
    </message>
    <message>
        <source>ポスター画像を書き込めません</source>
        <translation>cannot write the poster picture</translation>
    </message>
    <message>
        <source>動画を読む部品を読み込めません</source>
        <translation>cannot load the video module</translation>
    </message>
    <message>
        <source>アルバム(基準フォルダ)の外にある動画です</source>
        <translation>the video lies outside the album (the base folder)</translation>
    </message>
    <message>
        <source>「%1」はフォルダではなく、「%2」へのリンクです。リンクの先には何も書き込まず、何も削除しません。このリンクを取り除いてください。</source>
        <translation>“%1” is not a folder but a link to “%2”. Nothing is written or deleted where it links to. Remove the link.</translation>
    </message>
    <message>
        <source>「%1」はフォルダではありません。</source>
        <translation>“%1” is not a folder.</translation>
    </message>
    <message>
        <source>写真として読み取れないか、壊れています</source>
        <translation>cannot be read as a photo, or is damaged</translation>
    </message>
    <message>
        <source>写真が大きすぎて縮小できません</source>
        <translation>the photo is too large to be reduced</translation>
    </message>
    <message>
        <source>縮小画像を書き込めません</source>
        <translation>cannot write the reduced picture</translation>
    </message>
    <message>
        <source>画像を扱う部品を読み込めません</source>
        <translation>cannot load the picture module</translation>
    </message>
    <message>
        <source>アルバム(基準フォルダ)の外にある写真です</source>
        <translation>the photo lies outside the album (the base folder)</translation>
    </message>
</context>
<context>
    <name>Paths</name>
    <message>
        <source>「%1」は Windows のパスです。このコンピューターのフォルダではありません。
<byte value="xd"/>フォルダは「/」で始まるこのコンピューターのパスで指定してください。</source>
        <translation>“%1” is a Windows path, not a folder of this computer.
<byte value="xd"/>Give the folder as a path of this computer, starting with “/”.</translation>
    </message>
</context>
<context>
    <name>Publish</name>
    <message>
        <source> (ファイルがありません)</source>
        <translation> (file not found)</translation>
    </message>
    <message>
        <source>「%1」には基準フォルダ「%2」が入っています。
<byte value="xd"/>公開用のコピーは基準フォルダもHTML出力先も入っていないフォルダに作ってください。</source>
        <translation>“%1” holds the base folder “%2”.
<byte value="xd"/>Make the copy for publishing in a folder that holds neither the base folder nor the HTML output folder.</translation>
    </message>
    <message>
        <source>「%1」にはHTML出力先「%2」が入っています。
<byte value="xd"/>公開用のコピーは基準フォルダもHTML出力先も入っていないフォルダに作ってください。</source>
        <translation>“%1” holds the HTML output folder “%2”.
<byte value="xd"/>Make the copy for publishing in a folder that holds neither the base folder nor the HTML output folder.</translation>
    </message>
    <message>
        <source>「%1」はフォルダではなく、「%2」へのリンクです。
<byte value="xd"/>リンクの先には何も書き込まず、何も削除しません。リンクではないフォルダを指定してください。</source>
        <translation>“%1” is not a folder but a link to “%2”.
<byte value="xd"/>Nothing is written or deleted where it links to. Give a folder that is not a link.</translation>
    </message>
    <message>
        <source>「%1」はフォルダの場所を「/」から示していません。
<byte value="xd"/>公開先のフォルダを「/」から指定してください。</source>
        <translation>“%1” does not give the folder’s place from “/”.
<byte value="xd"/>Give the folder to publish into as a path starting with “/”.</translation>
    </message>
    <message>
        <source>基準フォルダが設定されていないか、見つかりません。(%1)
<byte value="xd"/>公開用のコピーには基準フォルダの中のファイルだけを入れます。先に基準フォルダを設定してください。</source>
        <translation>The base folder is not set or was not found. (%1)
<byte value="xd"/>The copy for publishing holds only files in the base folder. Set the base folder first.</translation>
    </message>
    <message>
        <source>「%1」はHTML出力先です。
<byte value="xd"/>公開用のコピーは別のフォルダに作ってください。</source>
        <translation>“%1” is the HTML output folder.
<byte value="xd"/>Make the copy for publishing in another folder.</translation>
    </message>
    <message>
        <source>「%1」は基準フォルダ「%2」の中にあります。
<byte value="xd"/>基準フォルダの外のフォルダを指定してください。</source>
        <translation>“%1” lies in the base folder “%2”.
<byte value="xd"/>Give a folder outside the base folder.</translation>
    </message>
    <message>
        <source>「%1」はフォルダではありません。</source>
        <translation>“%1” is not a folder.</translation>
    </message>
    <message>
        <source>フォルダ「%1」を作れません。</source>
        <translation>Cannot create the folder “%1”.</translation>
    </message>
    <message>
        <source>フォルダ「%1」は空ではなく、公開用にコピーしたフォルダでもありません。
<byte value="xd"/>空のフォルダか、以前に公開用にコピーしたフォルダを指定してください。</source>
        <translation>The folder “%1” is not empty and is not a copy made for publishing.
<byte value="xd"/>Give an empty folder, or one made by an earlier copy for publishing.</translation>
    </message>
    <message>
        <source>「%1」は、確かめた後に別のフォルダに置き換えられました。
<byte value="xd"/>何も書き込んでいません。もう一度やり直してください。</source>
        <translation>“%1” was replaced by another folder after it was checked.
<byte value="xd"/>Nothing was written. Try again.</translation>
    </message>
    <message>
        <source>公開用のコピーを「%1」に作りました。</source>
        <translation>The copy for publishing was made in “%1”.</translation>
    </message>
    <message>
        <source>公開用のコピー「%1」は完了しませんでした。</source>
        <translation>The copy for publishing “%1” was not completed.</translation>
    </message>
    <message>
        <source>ページ: %1</source>
        <translation>pages: %1</translation>
    </message>
    <message>
        <source>コピーしたファイル: %1 (変更のないもの %2)</source>
        <translation>files copied: %1 (%2 unchanged)</translation>
    </message>
    <message>
        <source>コピーした量: %1 バイト</source>
        <translation>bytes copied: %1</translation>
    </message>
    <message>
        <source>作った縮小画像: %1</source>
        <translation>reduced pictures made: %1</translation>
    </message>
    <message>
        <source>削除した古いファイル: %1</source>
        <translation>old files deleted: %1</translation>
    </message>
    <message>
        <source>ウェブアルバム: ページ %1 (変更のないもの %2)、写真 %3、ビデオ %4、新しく縮小した写真 %5</source>
        <translation>web album: %1 pages (%2 unchanged), %3 photos, %4 videos, %5 photos newly reduced</translation>
    </message>
    <message>
        <source>  ほか %1 件</source>
        <translation>  and %1 more</translation>
    </message>
    <message>
        <source>見つからないか表示できない写真とファイル: %1</source>
        <translation>photos and files not found or not shown: %1</translation>
    </message>
    <message>
        <source>ブラウザで再生できない形式のため、ポスターだけを載せたビデオ: %1</source>
        <translation>videos shown by their poster only, in a format browsers do not play: %1</translation>
    </message>
    <message>
        <source>アルバム(基準フォルダ)の外にあるため、コピーしなかったファイル: %1</source>
        <translation>files not copied because they lie outside the album (the base folder): %1</translation>
    </message>
    <message>
        <source>http・https・mailto 以外の形式のため、ﾘﾝｸボタンを出力しなかったリンク: %1</source>
        <translation>links given no link button because they are not http, https or mailto: %1</translation>
    </message>
    <message>
        <source>コピーの中にあったリンクをフォルダに置き換えました: %1</source>
        <translation>links in the copy replaced by folders: %1</translation>
    </message>
    <message>
        <source>コピーの中にあった、コピーのものではないリンク(辿っていません): %1</source>
        <translation>links in the copy that are not the copy’s own (not followed): %1</translation>
    </message>
    <message>
        <source>アルバムのファイルでもあるため、削除しなかった古いファイル: %1</source>
        <translation>old files kept because they are also files of the album: %1</translation>
    </message>
</context>
<context>
    <name>Titles</name>
    <message>
        <source>ウェブアルバム</source>
        <translation>Web album</translation>
    </message>
    <message>
        <source>オートセット</source>
        <translation>Auto-set</translation>
    </message>
    <message>
        <source>データベースを開く</source>
        <translation>Open database</translation>
    </message>
    <message>
        <source>新規作成</source>
        <translation>New</translation>
    </message>
    <message>
        <source>ＨＴＭＬファイル出力</source>
        <translation>HTML output</translation>
    </message>
    <message>
        <source>ＨＴＭＬファイル出力(index.html)</source>
        <translation>HTML output (index.html)</translation>
    </message>
    <message>
        <source>ＨＴＭＬファイル出力(NameA.html)</source>
        <translation>HTML output (NameA.html)</translation>
    </message>
    <message>
        <source>ＨＴＭＬファイル出力([カテゴリ].html)</source>
        <translation>HTML output ([category].html)</translation>
    </message>
    <message>
        <source>ＨＴＭＬファイル出力(nIndex.html)</source>
        <translation>HTML output (nIndex.html)</translation>
    </message>
    <message>
        <source>公開用にコピー</source>
        <translation>Copy for publishing</translation>
    </message>
    <message>
        <source>基準フォルダ設定</source>
        <translation>Base folder</translation>
    </message>
    <message>
        <source>総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定</source>
        <translation>Base folder</translation>
    </message>
    <message>
        <source>HTML出力先</source>
        <translation>HTML output folder</translation>
    </message>
    <message>
        <source>HTMLﾌｫﾙﾀﾞ設定</source>
        <translation>HTML output folder</translation>
    </message>
</context>
<context>
    <name>cli</name>
    <message>
        <source>オートセット: 調べたフォルダ</source>
        <translation>auto-set: folders read</translation>
    </message>
    <message>
        <source>フォルダ「%1」を作れません。</source>
        <translation>Cannot create the folder “%1”.</translation>
    </message>
    <message>
        <source>写真「%1」を書けません。</source>
        <translation>Cannot write the photo “%1”.</translation>
    </message>
    <message>
        <source>「%1」を書けません。</source>
        <translation>Cannot write “%1”.</translation>
    </message>
    <message>
        <source>ライブラリを作成できませんでした (%1)</source>
        <translation>The library could not be created (%1)</translation>
    </message>
    <message>
        <source>基準フォルダと出力先を保存できませんでした。</source>
        <translation>The base folder and the output folder could not be stored.</translation>
    </message>
    <message>
        <source>オートセットが最後まで終わりませんでした。</source>
        <translation>The auto-set did not finish.</translation>
    </message>
    <message>
        <source>サイトの出力は完了しませんでした。上のメッセージを確認してください。</source>
        <translation>The site was not completed. See the messages above.</translation>
    </message>
    <message>
        <source>ライブラリ: %1</source>
        <translation>library: %1</translation>
    </message>
    <message>
        <source>サイト: %1</source>
        <translation>site: %1</translation>
    </message>
    <message>
        <source>HTML出力: ページ</source>
        <translation>HTML output: pages</translation>
    </message>
    <message>
        <source>サイトを書き出しました (%1 ページ)</source>
        <translation>site written (%1 pages)</translation>
    </message>
    <message>
        <source>公開用にコピー: ページ</source>
        <translation>copy for publishing: pages</translation>
    </message>
    <message>
        <source>--mode は 0 から 5 で指定してください。</source>
        <translation>--mode takes a number from 0 to 5.</translation>
    </message>
    <message>
        <source>ファイルがないか、2 バイトに満たないか、通常のファイルではありません</source>
        <translation>missing, shorter than 2 bytes, or not a regular file</translation>
    </message>
    <message>
        <source>%1 のファイルではありません</source>
        <translation>not a %1 file</translation>
    </message>
    <message>
        <source>拡張子が bmp・gif・jpg・jpeg・png・webp・avif でないか、その形式のファイルではありません</source>
        <translation>the extension is not bmp, gif, jpg, jpeg, png, webp or avif, or the file is not of that format</translation>
    </message>
    <message>
        <source>BMP・GIF・JPEG・PNG・WebP・AVIF のいずれでもないか、大きさを示す部分がありません</source>
        <translation>not BMP, GIF, JPEG, PNG, WebP or AVIF, or without the part that gives the size</translation>
    </message>
    <message>
        <source>「%1」は既にあります。置き換えるには --force を付けてください。</source>
        <translation>“%1” exists already. Add --force to replace it.</translation>
    </message>
    <message>
        <source>変換: 行</source>
        <translation>conversion: rows</translation>
    </message>
    <message>
        <source>「%1」は既にあります。上書きするには --force を付けてください。</source>
        <translation>“%1” exists already. Add --force to overwrite it.</translation>
    </message>
    <message>
        <source>作成しました: %1</source>
        <translation>created %1</translation>
    </message>
    <message>
        <source>--format は text、tsv、json のいずれかです</source>
        <translation>--format is text, tsv or json</translation>
    </message>
    <message>
        <source>(未設定)</source>
        <translation>(not set)</translation>
    </message>
    <message>
        <source>基準フォルダ: %1</source>
        <translation>base folder: %1</translation>
    </message>
    <message>
        <source>HTML出力先: %1</source>
        <translation>output folder: %1</translation>
    </message>
    <message>
        <source>(パスなし)</source>
        <translation>(no path)</translation>
    </message>
    <message>
        <source>見つからないフォルダ・ファイル・写真はありません。</source>
        <translation>No folder, file or photo is missing.</translation>
    </message>
    <message>
        <source>見つからないもの: %1 件</source>
        <translation>missing: %1</translation>
    </message>
    <message>
        <source>削除するフォルダ PATH か --missing を指定してください</source>
        <translation>give the folders PATH to remove, or --missing</translation>
    </message>
    <message>
        <source>「%1」はライブラリに登録されていません。</source>
        <translation>“%1” is not stored in the library.</translation>
    </message>
    <message>
        <source>タイトル「%1」は読んだ後に変更されたため、削除しませんでした。</source>
        <translation>The title “%1” was changed after it was read, so it was not deleted.</translation>
    </message>
    <message>
        <source>削除: %1 %2</source>
        <translation>removed: %1 %2</translation>
    </message>
    <message>
        <source>削除した行: カテゴリー %1、ジャンル %2、タイトル %3</source>
        <translation>rows deleted: %1 categories, %2 genres, %3 titles</translation>
    </message>
    <message>
        <source>動画 1 本なら VIDEO OUT.jpg、何本でも --out FOLDER VIDEO... と指定してください。</source>
        <translation>give VIDEO OUT.jpg for one video, or --out FOLDER VIDEO... for any number</translation>
    </message>
    <message>
        <source>フォルダ「%1」がありません。</source>
        <translation>The folder “%1” does not exist.</translation>
    </message>
    <message>
        <source>同じ名前の動画が先にあるため、「%1」は書きません</source>
        <translation>“%1” is not written: a video of the same name comes first</translation>
    </message>
    <message>
        <source>動画ファイルがありません</source>
        <translation>the video file does not exist</translation>
    </message>
    <message>
        <source>回転 %1</source>
        <translation>rotated %1</translation>
    </message>
    <message>
        <source>作成するには --create を付けてください。</source>
        <translation>Add --create to create it.</translation>
    </message>
    <message>
        <source>パスを書き換えた行: %1</source>
        <translation>paths rewritten in %1 rows</translation>
    </message>
    <message>
        <source>「%1」はフォルダです。ライブラリファイルを指定してください。</source>
        <translation>“%1” is a folder. Give a library file.</translation>
    </message>
    <message>
        <source>「%1」は隠しファイル (名前が「.」で始まるファイル) のため、ライブラリとして開けません。</source>
        <translation>“%1” is a hidden file (its name starts with “.”), so it is not opened as a library.</translation>
    </message>
    <message>
        <source>「%1」はファイルではありません。</source>
        <translation>“%1” is not a file.</translation>
    </message>
    <message>
        <source>ライブラリファイル「%1」がありません。</source>
        <translation>The library file “%1” does not exist.</translation>
    </message>
    <message>
        <source>ﾌｫﾙﾀﾞが選択されていません！</source>
        <translation>No folder is given!</translation>
    </message>
    <message>
        <source>使い方: </source>
        <comment>usage error</comment>
        <translation>usage: </translation>
    </message>
    <message>
        <source>コマンド「%1」はありません (tessaly-cli --help を参照)</source>
        <translation>unknown command &apos;%1&apos; (see tessaly-cli --help)</translation>
    </message>
    <message>
        <source>オプション「%1」には値が必要です</source>
        <translation>option &apos;%1&apos; needs a value</translation>
    </message>
    <message>
        <source>オプション「%1」はありません</source>
        <translation>unknown option &apos;%1&apos;</translation>
    </message>
    <message>
        <source>使い方: </source>
        <comment>help</comment>
        <translation>Usage: </translation>
    </message>
    <message>
        <source>引数が足りません</source>
        <translation>missing arguments</translation>
    </message>
    <message>
        <source>引数が多すぎます</source>
        <translation>too many arguments</translation>
    </message>
    <message>
        <source>変換しました: %1
    変換先: %2</source>
        <translation>converted %1
     into %2</translation>
    </message>
    <message>
        <source>  %1: %2 行</source>
        <translation>  %1: %2 rows</translation>
    </message>
    <message>
        <source>次に、写真のフォルダを今置いてある場所を基準フォルダに設定してください。登録済みの Windows のパスはそれに合わせて書き換わります:</source>
        <translation>Next: set the base folder to where the photo folders now lie; stored Windows paths move with it:</translation>
    </message>
    <message>
        <source>写真のフォルダ</source>
        <translation>/path/to/photos</translation>
    </message>
</context>
</TS>
