<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>tarvik::TGraphConfDialog</name>
    <message>
        <source>キャンセル</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>～</source>
        <extracomment>the range sign between the lower and the upper bound</extracomment>
        <translation>~</translation>
    </message>
</context>
<context>
    <name>tarvik::TLabelDetailDialog</name>
    <message>
        <source>Name が設定されていません。</source>
        <translation>No name is set.</translation>
    </message>
    <message>
        <source>Type が選択されていません。</source>
        <translation>No type is selected.</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>&amp;Cancel</translation>
    </message>
</context>
<context>
    <name>tarvik::TLabelForm</name>
    <message>
        <source>グラフ設定も更新しますか？</source>
        <translation>Update the graph settings too?</translation>
    </message>
</context>
<context>
    <name>tarvik::TSystemDialog</name>
    <message>
        <source>キャンセル</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>～</source>
        <translation>~</translation>
    </message>
</context>
<context>
    <name>tarvik::TWarningDialog</name>
    <message>
        <source>重要な質問</source>
        <translation>Important Question</translation>
    </message>
    <message>
        <source>&lt;p style=&quot;margin:0&quot;&gt;本機能は、&lt;span style=&quot;color:#ff0000&quot;&gt;偽のメッセージをCANバス上に送信&lt;/span&gt;します。&lt;/p&gt;&lt;p style=&quot;margin-top:12px; margin-bottom:0&quot;&gt;よって、使用法を誤れば、本モニタを接続している設備や車両に&lt;br&gt;&lt;span style=&quot;color:#ff0000; font-size:16px&quot;&gt;重大な災害や事故を引き起こす危険性&lt;/span&gt;があります。&lt;/p&gt;&lt;p style=&quot;margin-top:12px; margin-bottom:0&quot;&gt;上記の内容をご理解頂いた上で、本機能を使用しますか？&lt;/p&gt;</source>
        <translation>&lt;p style=&quot;margin:0&quot;&gt;This function sends &lt;span style=&quot;color:#ff0000&quot;&gt;fake messages onto the CAN bus&lt;/span&gt;.&lt;/p&gt;&lt;p style=&quot;margin-top:12px; margin-bottom:0&quot;&gt;Used wrongly, it can therefore cause &lt;span style=&quot;color:#ff0000; font-size:16px&quot;&gt;serious disasters or accidents&lt;/span&gt; in the equipment or vehicles this monitor is connected to.&lt;/p&gt;&lt;p style=&quot;margin-top:12px; margin-bottom:0&quot;&gt;Do you understand the above and want to use this function?&lt;/p&gt;</translation>
    </message>
</context>
</TS>
