-- Data for db_table.kwl: 10,000 rows of four columns.
-- mariadb kwltest < db_table.sql
DROP TABLE IF EXISTS bench_rows;
CREATE TABLE bench_rows (
  id INT PRIMARY KEY,
  name VARCHAR(40) NOT NULL,
  price DECIMAL(10, 2) NOT NULL,
  note VARCHAR(300)
);
INSERT INTO bench_rows
WITH d AS (SELECT 0 AS v UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL
           SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 UNION ALL
           SELECT 8 UNION ALL SELECT 9),
     n AS (SELECT a.v + 10 * b.v + 100 * c.v + 1000 * e.v + 1 AS id FROM d a, d b, d c, d e)
SELECT id, CONCAT('item ', id), id * 1.25, IF(id % 7 = 0, NULL, REPEAT('note ', id % 12))
FROM n;
