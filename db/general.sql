/* Schema of the general database (datos/general.fdb) of the stand-in ERP: the
   centres (points of sale) and the company each belongs to.

   Dialect 1, as the program connects to it. Run it on a new, empty database:
       SET SQL DIALECT 1;
       CREATE DATABASE '/path/general.fdb' USER 'SYSDBA';
       INPUT '/path/to/db/general.sql';

   The program reads the company code as the table's second column, by
   position, so CIA_COD must stay right after CENT_COD. */

CREATE TABLE CENTROS (
    CENT_COD  VARCHAR(10) NOT NULL,
    CIA_COD   VARCHAR(3),
    CENT_NOM  VARCHAR(60),
    CONSTRAINT PK_CENTROS PRIMARY KEY (CENT_COD)
);

COMMIT;
