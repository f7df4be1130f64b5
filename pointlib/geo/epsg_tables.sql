-- Writes the EPSG tables pcs.csv, gcs.csv and vertcs.csv into the current folder from PROJ's
-- proj.db. One row per line, no header line; every name is quoted (a double quote inside a name
-- becomes a single one, since the tables know no escapes).
--   pcs.csv    code,"name",linear unit,geographic code,conversion code,method code,deprecated,
--              coordinate system code,number of parameters,then per parameter in ascending
--              parameter-code order: parameter code,value,unit
--   gcs.csv    code,"name",datum code,"datum name",prime meridian code,coordinate system code,
--              ellipsoid code,"ellipsoid name",semi-major axis,its unit,inverse flattening (0 for a
--              sphere),"prime meridian name",prime meridian longitude,its unit
--   vertcs.csv code,"name",datum code,"datum name",unit,coordinate system code
.bail on
.headers off
.mode list
.nullvalue ''

CREATE TEMP VIEW parameter(auth_name, code, parameter_code, value, unit) AS
            SELECT auth_name, code, param1_code, param1_value, param1_uom_code FROM conversion_table WHERE param1_code IS NOT NULL
  UNION ALL SELECT auth_name, code, param2_code, param2_value, param2_uom_code FROM conversion_table WHERE param2_code IS NOT NULL
  UNION ALL SELECT auth_name, code, param3_code, param3_value, param3_uom_code FROM conversion_table WHERE param3_code IS NOT NULL
  UNION ALL SELECT auth_name, code, param4_code, param4_value, param4_uom_code FROM conversion_table WHERE param4_code IS NOT NULL
  UNION ALL SELECT auth_name, code, param5_code, param5_value, param5_uom_code FROM conversion_table WHERE param5_code IS NOT NULL
  UNION ALL SELECT auth_name, code, param6_code, param6_value, param6_uom_code FROM conversion_table WHERE param6_code IS NOT NULL
  UNION ALL SELECT auth_name, code, param7_code, param7_value, param7_uom_code FROM conversion_table WHERE param7_code IS NOT NULL;

-- Each conversion's parameters as one text, ordered by parameter code whatever their columns.
CREATE TEMP VIEW parameter_list(auth_name, code, count, text) AS
  SELECT auth_name, code, count(*),
         group_concat(CASE WHEN k = 1 THEN piece END, '') ||
         ifnull(group_concat(CASE WHEN k = 2 THEN ',' || piece END, ''), '') ||
         ifnull(group_concat(CASE WHEN k = 3 THEN ',' || piece END, ''), '') ||
         ifnull(group_concat(CASE WHEN k = 4 THEN ',' || piece END, ''), '') ||
         ifnull(group_concat(CASE WHEN k = 5 THEN ',' || piece END, ''), '') ||
         ifnull(group_concat(CASE WHEN k = 6 THEN ',' || piece END, ''), '') ||
         ifnull(group_concat(CASE WHEN k = 7 THEN ',' || piece END, ''), '')
  FROM (SELECT auth_name, code,
               row_number() OVER (PARTITION BY auth_name, code
                                  ORDER BY CAST(parameter_code AS INTEGER)) AS k,
               parameter_code || ',' || ifnull(value, '') || ',' || ifnull(unit, '') AS piece
        FROM parameter)
  GROUP BY auth_name, code;

-- The unit of a coordinate system: that of its first axis.
CREATE TEMP VIEW cs_unit(auth_name, code, unit) AS
  SELECT coordinate_system_auth_name, coordinate_system_code, uom_code FROM axis
  WHERE coordinate_system_order = 1;

.output pcs.csv
SELECT p.code || ',"' || replace(p.name, '"', '''') || '",' || ifnull(u.unit, '') || ',' ||
       p.geodetic_crs_code || ',' || p.conversion_code || ',' || c.method_code || ',' ||
       p.deprecated || ',' || p.coordinate_system_code || ',' || ifnull(l.count, 0) ||
       ifnull(',' || l.text, '')
FROM projected_crs p
JOIN conversion_table c ON c.auth_name = p.conversion_auth_name AND c.code = p.conversion_code
LEFT JOIN cs_unit u ON u.auth_name = p.coordinate_system_auth_name
                   AND u.code = p.coordinate_system_code
LEFT JOIN parameter_list l ON l.auth_name = c.auth_name AND l.code = c.code
WHERE p.geodetic_crs_auth_name = 'EPSG'
  AND (p.auth_name = 'EPSG' OR
       -- codes that the registry has since withdrawn (old state planes, German zones) still
       -- stand in older files; their former definitions are kept under the ESRI authority, as
       -- long as the registry has not given the code to any other object since (a compound
       -- system, a datum, an operation ...). Areas of use have codes of their own that no key
       -- names, so they do not count.
       (p.auth_name = 'ESRI' AND CAST(p.code AS INTEGER) <= 32767 AND
        NOT EXISTS (SELECT 1 FROM object_view e WHERE e.auth_name = 'EPSG' AND e.code = p.code
                                                  AND e.table_name <> 'extent')))
ORDER BY CAST(p.code AS INTEGER);

.output gcs.csv
SELECT g.code || ',"' || replace(g.name, '"', '''') || '",' || d.code || ',"' ||
       replace(d.name, '"', '''') || '",' || d.prime_meridian_code || ',' ||
       g.coordinate_system_code || ',' || d.ellipsoid_code || ',"' || replace(e.name, '"', '''') ||
       '",' || e.semi_major_axis || ',' || e.uom_code || ',' ||
       ifnull(e.inv_flattening,
              CASE WHEN e.semi_minor_axis = e.semi_major_axis THEN 0
                   ELSE e.semi_major_axis / (e.semi_major_axis - e.semi_minor_axis) END) ||
       ',"' || replace(m.name, '"', '''') || '",' || m.longitude || ',' || m.uom_code
FROM geodetic_crs g
JOIN geodetic_datum d ON d.auth_name = g.datum_auth_name AND d.code = g.datum_code
JOIN ellipsoid e ON e.auth_name = d.ellipsoid_auth_name AND e.code = d.ellipsoid_code
JOIN prime_meridian m ON m.auth_name = d.prime_meridian_auth_name AND m.code = d.prime_meridian_code
WHERE g.auth_name = 'EPSG' AND g.type LIKE 'geographic%'
ORDER BY CAST(g.code AS INTEGER);

.output vertcs.csv
SELECT v.code || ',"' || replace(v.name, '"', '''') || '",' || d.code || ',"' ||
       replace(d.name, '"', '''') || '",' || ifnull(u.unit, '') || ',' || v.coordinate_system_code
FROM vertical_crs v
JOIN vertical_datum d ON d.auth_name = v.datum_auth_name AND d.code = v.datum_code
LEFT JOIN cs_unit u ON u.auth_name = v.coordinate_system_auth_name
                   AND u.code = v.coordinate_system_code
WHERE v.auth_name = 'EPSG'
ORDER BY CAST(v.code AS INTEGER);
.output stdout
