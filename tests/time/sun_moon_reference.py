#!/usr/bin/python3
"""Writes sun_moon_reference.csv: the Sun's and the Moon's altitudes and the Moon's illuminated
fraction from PyEphem (python3-ephem), for the station's own computation to be checked against.

Altitudes are topocentric and without refraction (pressure 0), observer at sea level.
Run: /usr/bin/python3 tests/time/sun_moon_reference.py > tests/time/sun_moon_reference.csv
"""
import calendar
import datetime
import math

import ephem

LATITUDES = [-60, -30, 0, 30, 60]
LONGITUDES = [-150, -75, 0, 75, 150]
HOURS = [0, 5, 11, 17, 22]


def rows():
    n = 0
    for year in range(2000, 2031, 2):
        for month in (1, 4, 7, 10):
            # Vary the day, the time and the longitudes from date to date, so that every latitude
            # meets every longitude and every hour.
            day = 1 + (n * 7) % 28
            when = datetime.datetime(year, month, day, HOURS[n % len(HOURS)], (n * 13) % 60, 30)
            for k, lat in enumerate(LATITUDES):
                yield when, lat, LONGITUDES[(n + k * 2 + n // len(HOURS)) % len(LONGITUDES)]
            n += 1


def main():
    print("utc_ms,latitude,longitude,sun_altitude,moon_altitude,moon_illumination")
    for when, lat, lon in rows():
        observer = ephem.Observer()
        observer.lat = str(lat)
        observer.lon = str(lon)
        observer.elevation = 0
        observer.pressure = 0
        observer.date = ephem.Date(when)
        sun = ephem.Sun(observer)
        moon = ephem.Moon(observer)
        ms = calendar.timegm(when.timetuple()) * 1000
        print(f"{ms},{lat},{lon},{math.degrees(sun.alt):.4f},{math.degrees(moon.alt):.4f},"
              f"{moon.moon_phase:.4f}")


if __name__ == "__main__":
    main()
