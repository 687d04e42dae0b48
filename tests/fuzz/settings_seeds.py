"""settings_seeds.py FOLDER: seeds for the settings reader's fuzz run, in UTF-8 and UTF-16."""
import os
import sys

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)

written = ('<?xml version="1.0" encoding="UTF-8"?>\r\n\r\n'
           '<Plugin_Manager_Settings Important_Note:="These are the paths that all Tarnwick installers will use."\r\n'
           '                         CLAP_Path="C:\\Program Files\\Common Files\\CLAP" VST3_Path="C:\\Program Files\\Common Files\\VST3"\r\n'
           '                         AAX_Path="C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins"/>\r\n')
posix = '<Plugin_Manager_Settings VST3_Path="/opt/plug-ins/vst3" CLAP_Path="/opt/M&#252;sik &amp; co" AAX_Path="/a&#10;b"/>'

seeds = {
    'written-utf8.xml': written.encode('utf-8'),
    'written-utf16le.xml': b'\xff\xfe' + written.encode('utf-16-le'),
    'written-utf16be.xml': b'\xfe\xff' + written.encode('utf-16-be'),
    'posix-utf8.xml': posix.encode('utf-8'),
    'stray-byte.xml': b'<P VST3_Path="/a&\xff',
    'overlong-and-surrogate.xml': b'<P VST3_Path="/a\xc0\xaf\xed\xa0\x80b" CLAP_Path="/c\xe2\x82"/>',
    # Beyond the bounds the parser may meet: deep nesting once overflowed the stack at every start.
    'deep-unclosed.xml': b'<a>' * 3000, # the 300,000 of a crash in the unit tests; small seeds keep the run fast
    'deep-behind-quoted-tag-ends.xml': b'<P VST3_Path="/a">' + b'<a x="/>">' * 40 + b'</a>' * 40 + b'</P>',
    'many-elements.xml': b'<P VST3_Path="/a">' + b'<a/>' * 1100 + b'</P>',
    'lone-surrogates-utf16le.xml': b'\xff\xfe' + '<P VST3_Path="/a'.encode('utf-16-le') + b'\x00\xd8' + '"/>'.encode('utf-16-le') + b'\x00\xdc',
}

for name, data in seeds.items():
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)
