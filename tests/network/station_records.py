"""A station's data-file records, and whether an archived record carries the same means."""
import glob
import os


def data_file_records(folder):
    """Every record line of the station's data files in `folder`, oldest first, as its text
    fields: date, time, then frequency and magnitude of the five channels, the temperatures."""
    lines = []
    for path in glob.glob(os.path.join(folder, "*_[0-9][0-9]_[0-9][0-9][0-9][0-9].csv")):
        with open(path, encoding="latin-1") as f:
            lines += [line.rstrip("\r\n").rstrip("\t").split("\t") for line in f
                      if line[:1].isdigit()]
    return sorted(lines, key=lambda fields: (fields[0][6:], fields[0][:5], fields[1]))


def frequency_text(value):
    return "0.0" if value is None else ("%07.1f" if value > 50 else "%06.3f") % value


def magnitude_text(value):
    return " 0.0" if value is None else "%05.2f" % value


def same_record(line, row):
    """Whether the archive's row (end_time in ms, five magnitudes, five frequencies, the
    temperatures, ...) prints as the data-file line does."""
    import datetime
    end = datetime.datetime.fromtimestamp(row[0] / 1000, datetime.timezone.utc)
    if [end.strftime("%m/%d/%y"), end.strftime("%H:%M:%S")] != line[:2]:
        return False
    channels = []
    for i in range(5):
        channels += [frequency_text(row[6 + i]), magnitude_text(row[1 + i])]
    return [c.strip() for c in channels] == [c.strip() for c in line[2:12]]
