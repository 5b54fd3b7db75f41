# The USDZ rules Apple's Quick Look holds a file to, checked with Python's
# own zip reader: every entry stored, not compressed; every entry's data on
# a 64-byte boundary; the first entry a USD layer; that layer +Y up in
# metres. Prints "ok" or what is wrong.
#   python3 usdz_structure.py FILE
import struct
import sys
import zipfile

path = sys.argv[1]
problems = []
with zipfile.ZipFile(path) as archive, open(path, 'rb') as raw:
    entries = archive.infolist()
    if not entries or not entries[0].filename.endswith(('.usda', '.usdc', '.usd')):
        problems.append('the first entry is not a USD layer')
    for entry in entries:
        if entry.compress_type != zipfile.ZIP_STORED:
            problems.append(entry.filename + ' is compressed')
        raw.seek(entry.header_offset)
        header = raw.read(30)
        method, = struct.unpack('<H', header[8:10])
        if method != 0:
            problems.append(entry.filename + "'s own header says it is compressed")
        name_length, extra_length = struct.unpack('<HH', header[26:30])
        data_at = entry.header_offset + 30 + name_length + extra_length
        if data_at % 64 != 0:
            problems.append('%s starts at byte %d, not on 64' % (entry.filename, data_at))
    if entries and entries[0].filename.endswith('.usda'):
        layer = archive.read(entries[0]).decode('utf-8')
        head = layer.split(')', 1)[0]
        if 'upAxis = "Y"' not in head:
            problems.append('the layer is not +Y up')
        if 'metersPerUnit = 1' not in head:
            problems.append('the layer is not in metres')
print('ok' if not problems else '; '.join(problems))
