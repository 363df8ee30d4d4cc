-- Data for the shop's product list (list.kwl, list.php).
DROP TABLE IF EXISTS products;
CREATE TABLE products (
  id INT PRIMARY KEY,
  name VARCHAR(40) NOT NULL,
  price DECIMAL(10, 2) NOT NULL,
  stock INT NOT NULL
);
INSERT INTO products VALUES
  (1, 'Tea pot', 24.90, 12), (2, 'Cup', 6.50, 140), (3, 'Saucer', 4.20, 98),
  (4, 'Sugar bowl', 12.00, 30), (5, 'Milk jug', 14.75, 22), (6, 'Tray', 19.99, 8),
  (7, 'Spoon', 2.10, 300), (8, 'Napkin', 0.80, 1000), (9, 'Kettle', 39.00, 5),
  (10, 'Tea caddy', 17.30, 17), (11, 'Strainer', 5.60, 44), (12, 'Cosy', 11.11, 9);
