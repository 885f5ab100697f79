/* Schema of a company database (datos/<company>/quorvan.fdb) of the stand-in
   ERP: the tables and procedures the import reads, writes and calls.

   Dialect 3, default character set ISO8859_1. Run it on a new, empty database:
       SET SQL DIALECT 3;
       CREATE DATABASE '/path/quorvan.fdb' USER 'SYSDBA'
           DEFAULT CHARACTER SET ISO8859_1;
       INPUT '/path/to/db/company.sql';
   (isql resolves the INPUT below against this file's folder.)

   The procedures are simple, deterministic replacements of the ERP's own; what
   they do beyond the shape of their results is chosen for testing. */

CREATE DOMAIN D_FACT_TRM AS DOUBLE PRECISION;
COMMIT;

INPUT 'invoice_tables.sql';

/* Invoice ids of a company database start above 1000, those of a branch
   database above 500000 (branch.sql), so that a test can tell them apart. */
SET GENERATOR GEN_FACTURAS_ID TO 1000;

CREATE TABLE PUNTO_VENTA (
    PTVT_ID          INTEGER NOT NULL,
    BODE_COD         VARCHAR(2) NOT NULL,
    PTVT_NOM         VARCHAR(60) NOT NULL,
    PTVT_RESP        VARCHAR(60),
    CAJA_ID          INTEGER,
    PTVT_COLOR       VARCHAR(8),
    PREF_PRE         VARCHAR(4),
    TERC_NIT         VARCHAR(20),
    SUCU_ID          INTEGER,
    PTVT_BALPTO      VARCHAR(4),
    PTVT_BALPOSP     INTEGER,
    PTVT_BALLONC     INTEGER,
    PTVT_MONPTO      VARCHAR(4),
    PTVT_BALFACTOR   NUMERIC(15,4),
    PTVT_MODPREC     CHAR(1),
    PTVT_ACTIVO      CHAR(1),
    PTVT_DEC2799     CHAR(1),
    PTVT_IDDIAN      VARCHAR(20),
    PTVT_FECCIE      DATE,
    PTVT_CAJACIERRE  INTEGER,
    PTVT_CAJADIF     INTEGER,
    PTVT_PREFPED     VARCHAR(4),
    PTVT_BALINVERT   CHAR(1),
    PTVT_BALCAR      VARCHAR(15),
    PTVT_BALLEE      CHAR(1),
    PTVT_PREFCOT     VARCHAR(4),
    PTVT_PREFREM     VARCHAR(4),
    PTVT_BALLPESO    SMALLINT,
    PTVT_BALOPOS     CHAR(1),
    CONSTRAINT PK_PUNTO_VENTA PRIMARY KEY (PTVT_ID)
);

/* Document prefixes (numbering series) per document type; 31 is the sales
   invoice. */
CREATE TABLE PREFIJOS (
    TIDO_COD     INTEGER NOT NULL,
    PREF_PRE     VARCHAR(4) NOT NULL,
    PREF_NOM     VARCHAR(60),
    PREF_IVAINC  CHAR(1),
    PREF_ACTUAL  INTEGER,
    CONSTRAINT PK_PREFIJOS PRIMARY KEY (TIDO_COD, PREF_PRE)
);

CREATE TABLE TERCEROS (
    TERC_NIT  VARCHAR(20) NOT NULL,
    TERC_NOM  VARCHAR(60),
    TERC_DIR  VARCHAR(100),
    TERC_TEL  VARCHAR(40),
    CONSTRAINT PK_TERCEROS PRIMARY KEY (TERC_NIT)
);

CREATE TABLE CLIENTES (
    TERC_NIT     VARCHAR(20) NOT NULL,
    LIPR_COD     INTEGER,
    VEND_COD     INTEGER,
    CLIE_RTCREE  NUMERIC(15,4),
    CONSTRAINT PK_CLIENTES PRIMARY KEY (TERC_NIT),
    CONSTRAINT FK_CLIENTES_TERCERO FOREIGN KEY (TERC_NIT) REFERENCES TERCEROS (TERC_NIT)
);

CREATE TABLE TARIFA_IVA (
    TAIV_COD   INTEGER NOT NULL,
    TAIV_NOM   VARCHAR(60),
    TAIV_PORC  NUMERIC(15,4),
    CONSTRAINT PK_TARIFA_IVA PRIMARY KEY (TAIV_COD)
);

/* Unit conversions read by FACTOR_UNIDAD_CANT: quantity in UNID_COD times
   ARUN_FACTOR gives the quantity in the article's own unit. */
CREATE TABLE ARTICULO_UNIDAD (
    ARTI_COD     VARCHAR(15) NOT NULL,
    UNID_COD     VARCHAR(8) NOT NULL,
    ARUN_FACTOR  NUMERIC(15,8) NOT NULL,
    CONSTRAINT PK_ARTICULO_UNIDAD PRIMARY KEY (ARTI_COD, UNID_COD),
    CONSTRAINT FK_ARTICULO_UNIDAD_ARTICULO FOREIGN KEY (ARTI_COD)
        REFERENCES ARTICULO (ARTI_COD) ON DELETE CASCADE
);

/* No key on the three texts: the lookup must cope with a setting stored
   twice, and tests need to be able to store it so. */
CREATE TABLE CONFIGURACION (
    CONF_MODULO     VARCHAR(60) NOT NULL,
    CONF_CATEGORIA  VARCHAR(60) NOT NULL,
    CONF_PROPIEDAD  VARCHAR(100) NOT NULL,
    CONF_VALOR      VARCHAR(255)
);
CREATE INDEX IX_CONFIGURACION ON CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD);

/* Branch databases that receive copies of the invoices of a prefix and point
   of sale. No key: two rows may name the same branch code. */
CREATE TABLE REPLICA_VENTAS (
    RPVE_COD       CHAR(3) NOT NULL,
    RPVE_NOMBRE    VARCHAR(60),
    RPVE_SERVIDOR  VARCHAR(60),
    RPVE_PREF      VARCHAR(4),
    RPVE_PTVT      INTEGER,
    RPVE_PREFDES   VARCHAR(4),
    RPVE_PTVTDES   INTEGER
);

/* Sales interfaces (accounting set-ups) per document type and prefix. */
CREATE TABLE INTERFAZ_VENTAS (
    INVE_ID   INTEGER NOT NULL,
    TIDO_COD  INTEGER,
    PREF_PRE  VARCHAR(4),
    INVE_NOM  VARCHAR(60),
    CONSTRAINT PK_INTERFAZ_VENTAS PRIMARY KEY (INVE_ID)
);

/* Pending replications. No key: the import writes exactly these columns, and
   one invoice gets a row for every branch it could not reach. */
CREATE TABLE REPLICA_ARTICULO_ESTADO (
    RPAE_ID        INTEGER NOT NULL,
    RPAE_FECHA     DATE,
    RPAE_HORA      TIME,
    ARTI_COD       VARCHAR(15),
    RPAE_CIA       VARCHAR(3),
    RPAE_TIPO      CHAR(1),
    RPAE_SERVIDOR  VARCHAR(60)
);
CREATE INDEX IX_REPLICA_ARTICULO_ESTADO ON REPLICA_ARTICULO_ESTADO (RPAE_ID);

/* Accounting entries that CONTABIL_FACTURA records, one per call, and that
   CONTABILIZA_PENDIENTE marks posted (ASIE_CONTABILIZADO 'S'). No key on
   ASIE_ID: a test may make CONTABIL_FACTURA answer the same entry id twice. */
CREATE TABLE CONTABILIDAD_ASIENTOS (
    ASIE_ID             INTEGER NOT NULL,
    FACT_ID             INTEGER,
    INVE_ID             INTEGER,
    ASIE_ESTADO         INTEGER,
    ASIE_CONTABILIZADO  CHAR(1) DEFAULT 'N' NOT NULL
);
CREATE INDEX IX_CONTABILIDAD_ASIENTOS ON CONTABILIDAD_ASIENTOS (ASIE_ID);
CREATE GENERATOR GEN_CONTABILIDAD_ASIENTOS;

/* Lets a test decide what CONTABIL_FACTURA answers. Empty: status 0 (1 when
   no sales interface is given) and an entry id from the generator. With a
   row: its CORE_ESTADO and CORE_MENSAJE, and CORE_ASIENTO as the entry id
   unless that is NULL. CORE_FILAS 0 makes the procedure return no row. */
CREATE TABLE CONTABIL_RESPUESTA (
    CORE_ESTADO   INTEGER,
    CORE_MENSAJE  VARCHAR(60),
    CORE_ASIENTO  INTEGER,
    CORE_FILAS    INTEGER DEFAULT 1
);

COMMIT;

SET TERM ^ ;

/* TIPO '1': found by code; '2': found by barcode; '3': found but inactive;
   '0': no article has the key (the other columns are then NULL). */
CREATE PROCEDURE VALIDE_ARTICULO (CLAVE VARCHAR(255))
RETURNS (
    TIPO         CHAR(1),
    ID           VARCHAR(15),
    DESCRIPCION  VARCHAR(60),
    UNIDAD       VARCHAR(8),
    LOTE         CHAR(1))
AS
DECLARE VARIABLE ACTIVO CHAR(1);
BEGIN
    TIPO = '0';
    ID = NULL;
    DESCRIPCION = NULL;
    UNIDAD = NULL;
    LOTE = NULL;
    SELECT ARTI_COD, ARTI_NOM, ARTI_UNIDAD, COALESCE(ARTI_LOTE, 'N'), ARTI_ACTIVO
      FROM ARTICULO WHERE ARTI_COD = :CLAVE
      INTO :ID, :DESCRIPCION, :UNIDAD, :LOTE, :ACTIVO;
    IF (ROW_COUNT > 0) THEN
        TIPO = '1';
    ELSE
    BEGIN
        /* Several articles may share a barcode: take the lowest code. */
        SELECT FIRST 1 ARTI_COD, ARTI_NOM, ARTI_UNIDAD, COALESCE(ARTI_LOTE, 'N'), ARTI_ACTIVO
          FROM ARTICULO WHERE ARTI_CODBAR = :CLAVE ORDER BY ARTI_COD
          INTO :ID, :DESCRIPCION, :UNIDAD, :LOTE, :ACTIVO;
        IF (ROW_COUNT > 0) THEN
            TIPO = '2';
    END
    IF (TIPO <> '0' AND ACTIVO = 'N') THEN
        TIPO = '3';
    SUSPEND;
END^

/* One row with the factor of the unit for the article, or none when no
   conversion is defined. */
CREATE PROCEDURE FACTOR_UNIDAD_CANT (ARTICULO VARCHAR(255), UNIDAD VARCHAR(255))
RETURNS (FACTOR NUMERIC(15,8))
AS
BEGIN
    FOR SELECT ARUN_FACTOR FROM ARTICULO_UNIDAD
         WHERE ARTI_COD = :ARTICULO AND UNID_COD = :UNIDAD
          INTO :FACTOR
    DO
        SUSPEND;
END^

/* Brings a sales invoice's totals up to date from its lines. Other document
   types are left alone. */
CREATE PROCEDURE ACTUALICE_TOTAL_DOCVENTA (TIDO_COD INTEGER, ID INTEGER)
AS
BEGIN
    IF (TIDO_COD = 31) THEN
        UPDATE FACTURAS F SET
            FACT_TOTAL = (SELECT COALESCE(SUM(D.FADE_TOTAL), 0)
                            FROM FACTURAS_DETALLE D WHERE D.FACT_ID = F.FACT_ID),
            FACT_IVAMONTO = (SELECT COALESCE(SUM(D.FADE_IVAMONTO), 0)
                               FROM FACTURAS_DETALLE D WHERE D.FACT_ID = F.FACT_ID)
         WHERE F.FACT_ID = :ID;
END^

/* Records an accounting entry for the invoice and answers (status, message,
   entry id); see CONTABIL_RESPUESTA. */
CREATE PROCEDURE CONTABIL_FACTURA (FACT_ID INTEGER, INVE_ID INTEGER)
RETURNS (ESTADO INTEGER, MENSAJE VARCHAR(60), ASIE_ID INTEGER)
AS
DECLARE VARIABLE FILAS INTEGER;
BEGIN
    ESTADO = NULL;
    MENSAJE = NULL;
    ASIE_ID = NULL;
    FILAS = 1;
    SELECT FIRST 1 CORE_ESTADO, CORE_MENSAJE, CORE_ASIENTO, COALESCE(CORE_FILAS, 1)
      FROM CONTABIL_RESPUESTA
      INTO :ESTADO, :MENSAJE, :ASIE_ID, :FILAS;
    IF (ROW_COUNT = 0) THEN
    BEGIN
        IF (INVE_ID IS NULL) THEN
        BEGIN
            ESTADO = 1;
            MENSAJE = 'SIN INTERFAZ DE VENTAS';
        END
        ELSE
        BEGIN
            ESTADO = 0;
            MENSAJE = 'PENDIENTE';
        END
    END
    IF (ASIE_ID IS NULL) THEN
        ASIE_ID = GEN_ID(GEN_CONTABILIDAD_ASIENTOS, 1);
    INSERT INTO CONTABILIDAD_ASIENTOS (ASIE_ID, FACT_ID, INVE_ID, ASIE_ESTADO, ASIE_CONTABILIZADO)
         VALUES (:ASIE_ID, :FACT_ID, :INVE_ID, :ESTADO, 'N');
    IF (FILAS > 0) THEN
        SUSPEND;
END^

/* Marks the entry posted. An id that CONTABIL_FACTURA never gave still
   leaves a trace, a posted entry without invoice, so that a test sees the
   call. */
CREATE PROCEDURE CONTABILIZA_PENDIENTE (IDCNT INTEGER)
AS
BEGIN
    UPDATE CONTABILIDAD_ASIENTOS SET ASIE_CONTABILIZADO = 'S' WHERE ASIE_ID = :IDCNT;
    IF (ROW_COUNT = 0) THEN
        INSERT INTO CONTABILIDAD_ASIENTOS (ASIE_ID, ASIE_CONTABILIZADO) VALUES (:IDCNT, 'S');
END^

SET TERM ; ^

COMMIT;
